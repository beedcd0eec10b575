// The reference for the application's memory: a program that does nothing but hold the speech model in
// whisper.cpp, loaded as the application loads it. Prints its resident set size in MB once loaded.
#include <cstdio>
#include <fstream>
#include <string>
#include <whisper.h>

namespace {
double residentMegabytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    }
    return 0.0;
}
} // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_bare_whisper <model>\n");
        return 2;
    }
    whisper_context* context = whisper_init_from_file_with_params(argv[1], whisper_context_default_params());
    if (!context) {
        std::fprintf(stderr, "bench_bare_whisper: cannot load %s\n", argv[1]);
        return 1;
    }
    std::printf("%.1f\n", residentMegabytes());
    whisper_free(context);
    return 0;
}
