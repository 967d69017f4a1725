// kestrine: the desktop application.
#include "app/kestrine_app.h"
#include "runtime/allocator_tuning.h"
#include "runtime/net/http_client.h"

int main(int argc, char** argv) {
  // Both change how the whole process works, before any other thread exists.
  kestrine::AllocatorTuning::Apply();
  if (!kestrine::HttpClient::GlobalInit()) return 1;
  kestrine::CKestrineApp app(argc, argv);
  return app.InitInstance();
}
