// Runs a fuzz target without libFuzzer: every file of the seed folders given on the command line,
// then a fixed number of deterministic mutations of them (byte flips, truncations, splices). A crash
// or sanitizer report fails the test; the inputs are reproducible from the seed.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {
using Bytes = std::vector<std::uint8_t>;

void runOne(const Bytes& input)
{
    LLVMFuzzerTestOneInput(input.data(), input.size());
}

Bytes mutate(const Bytes& seed, const Bytes& other, std::mt19937& rng)
{
    Bytes out = seed;
    const int steps = 1 + static_cast<int>(rng() % 8);
    for (int i = 0; i < steps; ++i) {
        switch (rng() % 6) {
        case 0:
            if (!out.empty())
                out[rng() % out.size()] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
            break;
        case 1:
            if (!out.empty())
                out[rng() % out.size()] = static_cast<std::uint8_t>(rng());
            break;
        case 2:
            if (!out.empty())
                out.resize(rng() % out.size());
            break;
        case 3:
            out.insert(out.begin() + static_cast<std::ptrdiff_t>(out.empty() ? 0 : rng() % out.size()),
                       static_cast<std::uint8_t>(rng()));
            break;
        case 4:
            if (!other.empty()) {
                const size_t from = rng() % other.size();
                const size_t len = std::min<size_t>(other.size() - from, 1 + rng() % 64);
                const size_t at = out.empty() ? 0 : rng() % out.size();
                out.insert(out.begin() + static_cast<std::ptrdiff_t>(at),
                           other.begin() + static_cast<std::ptrdiff_t>(from),
                           other.begin() + static_cast<std::ptrdiff_t>(from + len));
            }
            break;
        default: {
            static const char* tokens[] = {"{", "}", "[", "]", "\"", ",", ":", "null", "-1", "1e999", "0x", "(", ")"};
            const std::string token = tokens[rng() % std::size(tokens)];
            const size_t at = out.empty() ? 0 : rng() % out.size();
            out.insert(out.begin() + static_cast<std::ptrdiff_t>(at), token.begin(), token.end());
        }
        }
    }
    return out;
}
// "corpus:KIND" is a folder of the outside corpus: KEYGLASS_CORPUS_DIR/KIND when that is set.
std::filesystem::path seedFolder(std::string_view argument)
{
    constexpr std::string_view Prefix = "corpus:";
    if (!argument.starts_with(Prefix))
        return std::filesystem::path(argument);
    const char* override = std::getenv("KEYGLASS_CORPUS_DIR");
#ifdef KG_SHARED_DIR
    const std::filesystem::path corpus =
        override && *override ? std::filesystem::path(override) : std::filesystem::path(KG_SHARED_DIR) / "corpus";
#else
    const std::filesystem::path corpus = override ? override : "";
#endif
    return corpus / argument.substr(Prefix.size());
}
} // namespace

int main(int argc, char** argv)
{
    std::vector<Bytes> seeds;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path folder = seedFolder(argv[i]);
        std::error_code ec;
        if (!std::filesystem::is_directory(folder, ec)) {
            std::fprintf(stderr, "seed folder %s is missing\n", folder.c_str());
            return 1;
        }
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, ec)) {
            if (!entry.is_regular_file())
                continue;
            std::ifstream in(entry.path(), std::ios::binary);
            seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
    }
    seeds.emplace_back();
    for (const auto& seed : seeds)
        runOne(seed);

    std::mt19937 rng(20261208);
    const int rounds = 4000;
    for (int i = 0; i < rounds; ++i) {
        const Bytes& seed = seeds[rng() % seeds.size()];
        const Bytes& other = seeds[rng() % seeds.size()];
        runOne(mutate(seed, other, rng));
    }
    std::printf("replayed %zu seeds and %d mutations\n", seeds.size(), rounds);
    return 0;
}
