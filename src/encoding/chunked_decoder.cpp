#include "encoding/chunked_decoder.h"

#include <algorithm>

namespace kestrine {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

void ChunkedDecoder::Add(std::string_view bytes) {
  while (!bytes.empty() && state_ != State::Done && state_ != State::Failed) {
    bytes.remove_prefix(Step(bytes));
  }
}

// Reads what the state calls for at the start of `bytes`; how much it took.
std::size_t ChunkedDecoder::Step(std::string_view bytes) {
  const char c = bytes.front();
  switch (state_) {
    case State::Size:
      if (const int digit = HexValue(c); digit >= 0 && digits_ < 16) {
        left_ = left_ * 16 + static_cast<std::uint64_t>(digit);
        ++digits_;
      } else if (digits_ > 0 && (c == ';' || c == ' ' || c == '\t')) {
        state_ = State::Extension;
      } else if (digits_ > 0 && c == '\r') {
        state_ = State::SizeLineEnd;
      } else {
        state_ = State::Failed;
      }
      return 1;
    case State::Extension:
      if (c == '\r') state_ = State::SizeLineEnd;
      return 1;
    case State::SizeLineEnd:
      if (c != '\n') {
        state_ = State::Failed;
      } else {
        state_ = left_ == 0 ? State::Trailer : State::Data;
        trailerLine_ = 0;
      }
      return 1;
    case State::Data: {
      const std::size_t take =
          static_cast<std::size_t>(std::min<std::uint64_t>(left_, bytes.size()));
      sink_(bytes.substr(0, take));
      left_ -= take;
      if (left_ == 0) state_ = State::DataEnd;
      return take;
    }
    case State::DataEnd:
      state_ = c == '\r' ? State::DataLineEnd : State::Failed;
      return 1;
    case State::DataLineEnd:
      if (c != '\n') {
        state_ = State::Failed;
      } else {
        state_ = State::Size;
        digits_ = 0;
      }
      return 1;
    case State::Trailer:
      if (c == '\n') {
        if (trailerLine_ == 0) state_ = State::Done;
        trailerLine_ = 0;
      } else if (c != '\r') {
        ++trailerLine_;
      }
      return 1;
    case State::Done:
    case State::Failed:
      return bytes.size();
  }
  return bytes.size();
}

}  // namespace kestrine
