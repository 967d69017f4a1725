#pragma once

namespace kestrine {

// Passed with every message box: 2 when a replacement resource bundle was
// loaded at start-up, 1 otherwise.
enum DlgLanguage { kBuiltInLanguage = 1, kResourceBundleLanguage = 2 };

DlgLanguage MessageBoxLanguage();
void SetMessageBoxLanguage(DlgLanguage language);

}  // namespace kestrine
