// Writes the deterministic placeholder firmware image. usage: xqt-mkimage OUT SIZE VERSION
#include <cstdlib>
#include <fstream>
#include <iostream>

#include "platform/PlaceholderImage.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: xqt-mkimage OUT SIZE VERSION\n";
        return 1;
    }
    auto image = xqt::platform::MakePlaceholderImage(std::strtoull(argv[2], nullptr, 10), argv[3]);
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    return out ? 0 : 1;
}
