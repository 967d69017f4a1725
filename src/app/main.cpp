// kestrine: the desktop application.
#include "app/kestrine_app.h"

int main(int argc, char** argv) {
  kestrine::CKestrineApp app(argc, argv);
  return app.InitInstance();
}
