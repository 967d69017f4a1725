#pragma once

#include <string>

#include "site/scan_project.h"

namespace kestrine {

// Finds the references of a page by seven literal patterns, queues each one
// it takes with the project and writes the relative path of its local copy
// in its place. The text is changed in place; after a cancel or pause it
// holds the rewrites made so far.
void ScanHtmlReferences(IScanProject& project, std::u16string& text, const std::u16string& charset,
                        const std::u16string& pageAddress, const std::u16string& downloadFolder,
                        const std::u16string& pageFolder);

}  // namespace kestrine
