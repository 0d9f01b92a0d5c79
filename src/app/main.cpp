#include "app/app_delegate.hpp"

int main(int argc, char** argv) {
  fennelview::AppDelegate delegate;
  delegate.run(argc, argv);
  return 0;
}
