#include "GsmReference.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace tavora::test {

namespace {

void run(const std::string& command) {
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("failed: " + command);
}

std::vector<std::uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    put16(out, static_cast<std::uint16_t>(v));
    put16(out, static_cast<std::uint16_t>(v >> 16));
}
void putTag(std::vector<std::uint8_t>& out, const char* tag) {
    out.insert(out.end(), tag, tag + 4);
}

} // namespace

std::vector<std::uint8_t> soxEncodeGsm(const std::vector<std::int16_t>& samples, const std::string& workDir) {
    const std::string raw = workDir + "/ref-in.raw", wav = workDir + "/ref-gsm.wav";
    {
        std::ofstream out(raw, std::ios::binary);
        out.write(reinterpret_cast<const char*>(samples.data()),
                  static_cast<std::streamsize>(samples.size() * 2));
    }
    run("sox -q -t raw -r 8000 -e signed-integer -b 16 -c 1 " + raw + " -e gsm-full-rate " + wav);
    const std::vector<std::uint8_t> file = readFile(wav);
    // Walk the chunks to the data chunk.
    std::size_t at = 12;
    while (at + 8 <= file.size()) {
        std::uint32_t size = 0;
        std::memcpy(&size, file.data() + at + 4, 4);
        if (std::memcmp(file.data() + at, "data", 4) == 0) {
            const std::size_t end = std::min<std::size_t>(file.size(), at + 8 + size);
            return std::vector<std::uint8_t>(file.begin() + static_cast<std::ptrdiff_t>(at + 8),
                                             file.begin() + static_cast<std::ptrdiff_t>(end));
        }
        at += 8 + size + (size & 1);
    }
    throw std::runtime_error("no data chunk in " + wav);
}

std::vector<std::int16_t> ffmpegDecodeGsm(const std::vector<std::uint8_t>& blocks,
                                          const std::string& workDir) {
    const std::string wav = workDir + "/ref-dec.wav", raw = workDir + "/ref-dec.raw";
    std::vector<std::uint8_t> file;
    putTag(file, "RIFF");
    put32(file, static_cast<std::uint32_t>(4 + 28 + 12 + 8 + blocks.size()));
    putTag(file, "WAVE");
    putTag(file, "fmt ");
    put32(file, 20);
    put16(file, 0x31);
    put16(file, 1);
    put32(file, 8000);
    put32(file, 1625);
    put16(file, 65);
    put16(file, 0);
    put16(file, 2);
    put16(file, 320);
    putTag(file, "fact");
    put32(file, 4);
    put32(file, static_cast<std::uint32_t>(blocks.size() / 65 * 320));
    putTag(file, "data");
    put32(file, static_cast<std::uint32_t>(blocks.size()));
    file.insert(file.end(), blocks.begin(), blocks.end());
    {
        std::ofstream out(wav, std::ios::binary);
        out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    }
    run("ffmpeg -loglevel error -y -i " + wav + " -f s16le -acodec pcm_s16le " + raw);
    const std::vector<std::uint8_t> bytes = readFile(raw);
    std::vector<std::int16_t> out(bytes.size() / 2);
    std::memcpy(out.data(), bytes.data(), out.size() * 2);
    return out;
}

} // namespace tavora::test
