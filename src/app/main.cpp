// kestrine: the desktop application.
#include "app/kestrine_app.h"
#include "runtime/http_client.h"

int main(int argc, char** argv) {
  // The network library starts before any other thread exists.
  if (!kestrine::HttpClient::GlobalInit()) return 1;
  kestrine::CKestrineApp app(argc, argv);
  return app.InitInstance();
}
