// functiontest: runs the application headless on a simulated device (see app/job.h).

#include "app/job.h"

// LeakSanitizer (the sanitizer builds): fontconfig, which finds the outlines the pictures of the
// screens draw text with, keeps allocations of its own for the life of the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
// ...quietly: the program's output is its report.
extern "C" const char* __lsan_default_options() {
    return "print_suppressions=0";
}

int main(int argc, char** argv) {
    return app::main(argc, argv);
}
