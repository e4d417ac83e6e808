// fenwix: the conversion dialog.

#include <cstdio>
#include <new>

#include "gui/converter_app.h"

int main(int argc, char** argv) {
  try {
    fenwix::ConverterApp app(argc, argv);
    return app.Run();
  } catch (const std::bad_alloc&) {
    std::fputs("Unable to allocate the required memory\n", stderr);
    return 1;
  }
}
