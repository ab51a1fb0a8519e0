// Writes the bundled demo song (placeholder: one track, one note).
#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    std::string path = std::string(argv[1]) + "/sonfara-demo.mid";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 1;
    const unsigned char bytes[] = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 1, 0xE0,
                                   'M', 'T', 'r', 'k', 0, 0, 0, 13, 0, 0x90, 60, 100,
                                   0x83, 0x60, 0x80, 60, 0, 0, 0xFF, 0x2F, 0};
    std::fwrite(bytes, 1, sizeof bytes, f);
    std::fclose(f);
    return 0;
}
