// functiontest: runs the application headless on a simulated device (see app/job.h).

#include "app/job.h"

int main(int argc, char** argv) {
    return app::main(argc, argv);
}
