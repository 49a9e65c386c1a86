// Parses its command line as the daemon does and prints the settings text,
// so that tests can check parsing, usage and the values summary, which end
// the process.
#include <cstdio>

#include "CollectorConfig.h"

int main(int argc, char** argv) {
    CollectorConfig config(argc, argv);
    printf("%s\n", config.getSettings());
    return 0;
}
