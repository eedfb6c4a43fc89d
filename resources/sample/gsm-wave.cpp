// gsm-wave: encodes 8000 Hz mono signed 16-bit little-endian samples into a
// RIFF WAVE file in GSM 6.10 (format tag 0x0031, 65-byte blocks of 320
// samples each, as two 160-sample frames packed into 32 + 33 bytes).
//
//   gsm-wave IN.raw OUT.wav
//
// IN must hold a whole number of 320-sample blocks. The header is the
// standard 60-byte one: "fmt " (20 bytes), "fact" (sample count), "data".

#include <gsm.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

namespace {

constexpr size_t kSamplesPerBlock = 320;
constexpr size_t kBlockBytes = 65;

void Put(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void PutId(std::vector<uint8_t>& out, const char* id) {
    out.insert(out.end(), id, id + 4);
}

struct GsmDeleter {
    void operator()(gsm_state* g) const { gsm_destroy(g); }
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s IN.raw OUT.wav\n", argv[0]);
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::vector<char> raw{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (!in.is_open() || in.bad() || raw.size() % (kSamplesPerBlock * 2) != 0) {
        std::fprintf(stderr, "%s: need a whole number of %zu-sample blocks\n", argv[1], kSamplesPerBlock);
        return 1;
    }
    const size_t blocks = raw.size() / (kSamplesPerBlock * 2);
    std::vector<gsm_signal> samples(raw.size() / 2);
    std::memcpy(samples.data(), raw.data(), raw.size());

    std::unique_ptr<gsm_state, GsmDeleter> encoder(gsm_create());
    int wav49 = 1;
    if (!encoder || gsm_option(encoder.get(), GSM_OPT_WAV49, &wav49) < 0) {
        std::fprintf(stderr, "libgsm lacks the WAV49 packing\n");
        return 1;
    }
    std::vector<uint8_t> data(blocks * kBlockBytes);
    for (size_t b = 0; b < blocks; ++b) {
        gsm_signal* s = samples.data() + b * kSamplesPerBlock;
        uint8_t* d = data.data() + b * kBlockBytes;
        // With WAV49 the first frame of a pair takes 32 bytes, the second 33.
        gsm_encode(encoder.get(), s, d);
        gsm_encode(encoder.get(), s + 160, d + 32);
    }

    std::vector<uint8_t> file;
    PutId(file, "RIFF");
    Put(file, static_cast<uint32_t>(4 + 8 + 20 + 8 + 4 + 8 + data.size()), 4);
    PutId(file, "WAVE");
    PutId(file, "fmt ");
    Put(file, 20, 4);
    Put(file, 0x0031, 2);                   // GSM 6.10
    Put(file, 1, 2);                        // channels
    Put(file, 8000, 4);                     // samples per second
    Put(file, 8000 * kBlockBytes / 320, 4); // 1625 bytes per second
    Put(file, kBlockBytes, 2);              // block align
    Put(file, 0, 2);                        // bits per sample
    Put(file, 2, 2);                        // extra bytes
    Put(file, kSamplesPerBlock, 2);         // samples per block
    PutId(file, "fact");
    Put(file, 4, 4);
    Put(file, static_cast<uint32_t>(blocks * kSamplesPerBlock), 4);
    PutId(file, "data");
    Put(file, static_cast<uint32_t>(data.size()), 4);
    file.insert(file.end(), data.begin(), data.end());

    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    if (!out) {
        std::fprintf(stderr, "%s: cannot write\n", argv[2]);
        return 1;
    }
    return 0;
}
