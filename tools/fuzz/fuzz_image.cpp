// Fuzz target: one picture file through the image loaders (PNG, JPEG, BMP).
#include "lib/image/image_loader.h"
#include "tools/fuzz/fuzz_input.h"

int main(int argc, char **argv)
{
    return RunFuzzInput(argc, argv, [](const uint8_t *data, size_t size) {
        GraphImage image;
        if (LoadGraphImageFromMemory(data, size, &image) == 0)
            DiscardGraphImage(&image);
    });
}
