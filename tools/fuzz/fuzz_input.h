// The input of a fuzz target: the file named on the command line, else standard input. AFL++'s
// classic GCC mode has no persistent mode, so its fork server runs a target once per input.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

// Reads the input and calls run(data, size) with it. 0, 1 when the named file cannot be read.
template <typename Run>
int RunFuzzInput(int argc, char **argv, Run run)
{
    FILE *file = argc > 1 ? fopen(argv[1], "rb") : stdin;
    if (!file)
        return 1;
    std::vector<uint8_t> bytes;
    uint8_t chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + n);
    if (file != stdin)
        fclose(file);
    static const uint8_t kNothing = 0;  // an empty input still comes with a pointer
    run(bytes.empty() ? &kNothing : bytes.data(), bytes.size());
    return 0;
}
