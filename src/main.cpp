// vrxport: converts the headers of the VURO data files in the working
// directory between VER200 and VER210, in place.
#include "console.h"
#include "convert.h"
#include "platform.h"

#include <cstring>

namespace {

constexpr char BANNER[] = "vrxport - VURO data file header converter (VER200 <-> VER210)";

void print_usage() {
    print_line("Usage: vrxport [-r]");
    print_line("No option : VERE200-->VER210");
    print_line("-r : VERE210-->VER200");
}

int run(const char* option) {
    print_line(BANNER);
    if (option == nullptr) return upgrade_files();
    if (std::strcmp(option, "-r") == 0) return downgrade_files();
    print_usage();
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    prepare_process();
    int status = run(first_argument(argc, argv));
    flush_output();
    return status;
}
