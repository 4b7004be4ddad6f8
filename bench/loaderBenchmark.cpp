// How fast a pose picture loads: loadBitmapImage against stb_image and against a plain copy of
// the same bytes, for 24-bit, 8-bit and RLE8 pictures of 128 x 128 and 2048 x 2048 pixels, from
// the file and from bytes already in memory. The C library's allocator is left as it comes, as
// the game has it: every fresh page a contender takes from the system is part of its cost.
// The pictures are written to a fresh temporary folder at start and removed at the end.
#include "bitmapBuilder.h"
#include "dib.h"
#include "image.h"

#include <benchmark/benchmark.h>
#include <stb/stb_image.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

// A picture with flat areas and edges, like a fencer on a plain ground.
std::uint32_t colourIndexAt(int x, int y, int size) {
    const int centre = size / 2;
    const int dx = x - centre;
    const int dy = y - centre;
    if (dx * dx + dy * dy < size * size / 9) {
        return 1 + static_cast<std::uint32_t>((x / 8 + y / 8) % 200);
    }
    return (y / 16) % 2 == 0 ? 0 : 255;
}

std::vector<std::uint32_t> palette() {
    std::vector<std::uint32_t> colours;
    for (std::uint32_t entry = 0; entry < 256; ++entry) {
        colours.push_back((entry * 0x010101) ^ (entry << 16));
    }
    return colours;
}

Bytes picture24(int size) {
    const std::vector<std::uint32_t> colours = palette();
    std::vector<std::vector<std::uint32_t>> rows(size, std::vector<std::uint32_t>(size));
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            rows[y][x] = colours[colourIndexAt(x, y, size)] ^ static_cast<std::uint32_t>(x);
        }
    }
    return buildBitmap(
        {.width = size, .height = size, .bitsPerPixel = 24, .pixels = packRows(24, rows)});
}

Bytes picture8(int size) {
    std::vector<std::vector<std::uint32_t>> rows(size, std::vector<std::uint32_t>(size));
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            rows[y][x] = colourIndexAt(x, y, size);
        }
    }
    return buildBitmap({.width = size,
                        .height = size,
                        .bitsPerPixel = 8,
                        .colours = palette(),
                        .pixels = packRows(8, rows)});
}

Bytes pictureRle8(int size) {
    Bytes stream;
    for (int y = 0; y < size; ++y) {
        int x = 0;
        while (x < size) {
            const std::uint32_t index = colourIndexAt(x, y, size);
            int run = 1;
            while (x + run < size && run < 255 && colourIndexAt(x + run, y, size) == index) {
                ++run;
            }
            stream.push_back(static_cast<std::uint8_t>(run));
            stream.push_back(static_cast<std::uint8_t>(index));
            x += run;
        }
        stream.insert(stream.end(), {0, 0});
    }
    stream.insert(stream.end(), {0, 1});
    return buildBitmap({.width = size,
                        .height = size,
                        .bitsPerPixel = 8,
                        .compression = 1,
                        .colours = palette(),
                        .pixels = stream});
}

std::string writeFile(const std::string& path, const Bytes& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
    std::fclose(file);
    return path;
}

void loadWithLoader(benchmark::State& state, const std::string& path, std::size_t fileBytes) {
    for (auto _ : state) {
        std::unique_ptr<RgbImage> image = loadBitmapImage(path.c_str());
        if (!image) {
            state.SkipWithError("loadBitmapImage refused the picture");
            return;
        }
        benchmark::DoNotOptimize(image->pixels.get());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fileBytes));
}

void loadWithStb(benchmark::State& state, const std::string& path, std::size_t fileBytes) {
    for (auto _ : state) {
        int width = 0;
        int height = 0;
        int channels = 0;
        stbi_uc* pixels = stbi_load(path.c_str(), &width, &height, &channels, 3);
        if (pixels == nullptr) {
            state.SkipWithError("stb_image cannot decode this picture");
            return;
        }
        benchmark::DoNotOptimize(pixels);
        stbi_image_free(pixels);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fileBytes));
}

// The loader's decoding on a shared read-only view of the file instead of plain reads: what
// mapping would gain, which the loader forgoes because a mapped file saved over while it is
// read kills the process with SIGBUS.
void decodeMappedFile(benchmark::State& state, const std::string& path, std::size_t fileBytes) {
    for (auto _ : state) {
        const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        void* view = mmap(nullptr, fileBytes, PROT_READ, MAP_SHARED, descriptor, 0);
        close(descriptor);
        if (view == MAP_FAILED) {
            state.SkipWithError("the picture could not be mapped");
            return;
        }
        std::unique_ptr<RgbImage> image =
            loadBitmapFromMemory(static_cast<const std::uint8_t*>(view), fileBytes);
        munmap(view, fileBytes);
        if (!image) {
            state.SkipWithError("loadBitmapFromMemory refused the picture");
            return;
        }
        benchmark::DoNotOptimize(image->pixels.get());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fileBytes));
}

// The same two decoders on the file's bytes already in memory: what is left once opening and
// mapping the file are taken away.
void decodeWithLoader(benchmark::State& state, const Bytes& file) {
    for (auto _ : state) {
        std::unique_ptr<RgbImage> image = loadBitmapFromMemory(file.data(), file.size());
        if (!image) {
            state.SkipWithError("loadBitmapFromMemory refused the picture");
            return;
        }
        benchmark::DoNotOptimize(image->pixels.get());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * file.size()));
}

void decodeWithStb(benchmark::State& state, const Bytes& file) {
    for (auto _ : state) {
        int width = 0;
        int height = 0;
        int channels = 0;
        stbi_uc* pixels = stbi_load_from_memory(file.data(), static_cast<int>(file.size()), &width,
                                                &height, &channels, 3);
        if (pixels == nullptr) {
            state.SkipWithError("stb_image cannot decode this picture");
            return;
        }
        benchmark::DoNotOptimize(pixels);
        stbi_image_free(pixels);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * file.size()));
}

// The least any loader does: a fresh buffer holding the same bytes.
void plainCopy(benchmark::State& state, const Bytes& file) {
    for (auto _ : state) {
        std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[file.size()]);
        std::memcpy(copy.get(), file.data(), file.size());
        benchmark::DoNotOptimize(copy.get());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * file.size()));
}

} // namespace

int main(int argc, char** argv) {
    char folderPattern[] = "/tmp/lamevoBenchXXXXXX";
    if (mkdtemp(folderPattern) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string folder = folderPattern;
    std::vector<std::string> written;
    struct Kind {
        const char* name;
        Bytes (*make)(int size);
    };
    const Kind kinds[] = {{"rgb24", picture24}, {"indexed8", picture8}, {"rle8", pictureRle8}};
    std::vector<Bytes> files;
    files.reserve(6);
    for (const Kind& kind : kinds) {
        for (int size : {128, 2048}) {
            const std::string label = std::string(kind.name) + "/" + std::to_string(size);
            files.push_back(kind.make(size));
            const Bytes& file = files.back();
            const std::string path =
                writeFile(folder + "/" + kind.name + std::to_string(size) + ".bmp", file);
            written.push_back(path);
            benchmark::RegisterBenchmark(("loadBitmapImage/" + label).c_str(), loadWithLoader, path,
                                         file.size());
            benchmark::RegisterBenchmark(("stbi_load/" + label).c_str(), loadWithStb, path,
                                         file.size());
            benchmark::RegisterBenchmark(("mappedThenDecoded/" + label).c_str(), decodeMappedFile,
                                         path, file.size());
            benchmark::RegisterBenchmark(("memcpy/" + label).c_str(), plainCopy, file);
            benchmark::RegisterBenchmark(("loadBitmapFromMemory/" + label).c_str(),
                                         decodeWithLoader, file);
            benchmark::RegisterBenchmark(("stbi_load_from_memory/" + label).c_str(), decodeWithStb,
                                         file);
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const std::string& path : written) {
        std::remove(path.c_str());
    }
    rmdir(folder.c_str());
    return 0;
}
