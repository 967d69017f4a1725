#include "presentation/message_box_language.h"

#include <atomic>

namespace kestrine {

namespace {
std::atomic<DlgLanguage> language{kBuiltInLanguage};
}

DlgLanguage MessageBoxLanguage() { return language.load(); }
void SetMessageBoxLanguage(DlgLanguage value) { language.store(value); }

}  // namespace kestrine
