#include "site/address/start_address.h"

#include "runtime/string_utility.h"

namespace kestrine {

namespace {

bool IsAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// "htp:" of "htp:/x", "mailto:" of "mailto:a@b.c": a scheme, unless what
// follows the colon is a port ("localhost:8080/").
bool HasOtherScheme(std::u16string_view typed) {
  if (typed.empty() || !IsAsciiLetter(typed[0])) return false;
  std::size_t i = 1;
  while (i < typed.size() && (IsAsciiLetter(typed[i]) || IsDigit(typed[i]) || typed[i] == u'+' ||
                              typed[i] == u'-' || typed[i] == u'.')) {
    ++i;
  }
  return i < typed.size() && typed[i] == u':' && (i + 1 == typed.size() || !IsDigit(typed[i + 1]));
}

// The host of an authority ("user@host:port"), brackets kept around IPv6.
std::u16string_view HostOf(std::u16string_view authority) {
  if (const std::size_t at = authority.rfind(u'@'); at != std::u16string_view::npos) {
    authority.remove_prefix(at + 1);
  }
  if (!authority.empty() && authority[0] == u'[') {
    const std::size_t close = authority.find(u']');
    return close == std::u16string_view::npos ? std::u16string_view()
                                              : authority.substr(0, close + 1);
  }
  return authority.substr(0, authority.find(u':'));
}

// Letters, digits, '-' and '.', or any character beyond ASCII (a name
// written in its own script), and no empty label.
bool IsHostName(std::u16string_view host) {
  if (host.empty() || host.front() == u'.' || host.find(u"..") != std::u16string_view::npos) {
    return false;
  }
  if (host.front() == u'[') return host.size() > 2 && host.back() == u']';
  for (char16_t c : host) {
    if (!(IsAsciiLetter(c) || IsDigit(c) || c == u'-' || c == u'.' || c >= 0x80)) return false;
  }
  return true;
}

std::u16string_view AuthorityOf(std::u16string_view rest) {
  return rest.substr(0, rest.find_first_of(u"/?#"));
}

}  // namespace

StartAddress StartAddress::Check(std::u16string_view typed) {
  StartAddress start;
  const std::string shown = StringUtility::Printable(StringUtility::ToUtf8(typed));
  if (typed.empty()) {
    start.refusal_ = "no address given";
    return start;
  }
  const std::size_t schemeEnd = typed.find(u"://");
  std::u16string_view rest = typed;
  if (schemeEnd != std::u16string_view::npos) {
    const std::u16string scheme =
        StringUtility::ToLowerAscii(std::u16string(typed.substr(0, schemeEnd)));
    if (scheme != u"http" && scheme != u"https") {
      start.refusal_ = shown + ": only http:// and https:// addresses can be downloaded";
      return start;
    }
    rest = typed.substr(schemeEnd + 3);
  } else if (HasOtherScheme(typed)) {
    start.refusal_ = shown + ": only http:// and https:// addresses can be downloaded";
    return start;
  }
  const std::u16string_view host = HostOf(AuthorityOf(rest));
  // A bare word ("s") names no host a copy could come from; a bare host
  // needs a dot or to be this machine.
  const bool bare = schemeEnd == std::u16string_view::npos;
  if (!IsHostName(host) ||
      (bare && host.find(u'.') == std::u16string_view::npos && host.front() != u'[' &&
       !StringUtility::EqualsIgnoreCaseAscii(host, u"localhost"))) {
    start.refusal_ = shown + ": not a web address";
    return start;
  }
  start.address_ = bare ? u"https://" + std::u16string(typed) : std::u16string(typed);
  return start;
}

}  // namespace kestrine
