// keyglass-cli skin show and skin validate: which skin a pad gets, and what is wrong with a skin
// folder someone is making.

#include "cli/Cli.h"
#include "device/Discovery.h"
#include "padenv/PadEnvironment.h"
#include "skins/SkinLookup.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <set>

namespace keyglass::cli {

namespace {

namespace fs = std::filesystem;

bool sameID(std::string a, std::string b)
{
    auto upper = [](std::string& s) {
        std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::toupper(c)); });
    };
    upper(a);
    upper(b);
    return a == b;
}

int runShow(Invocation& call)
{
    if (call.args.size() != 1 || call.args[0].starts_with("-")) {
        call.err << "usage: keyglass-cli skin show DEVICE_ID\n";
        return ExitUsage;
    }
    const std::string& wanted = call.args[0];
    auto environment = PadEnvironment::create(call.virtualPads);
    if (!environment) {
        call.err << "keyglass-cli skin show: " << environment.error().message << "\n";
        return ExitFailed;
    }
    for (const auto& endpoint : enumerateEndpoints((*environment)->backend())) {
        if (!sameID(endpoint.id(), wanted))
            continue;
        const auto device = loadDevice((*environment)->backend(), endpoint);
        if (!device) {
            call.err << "keyglass-cli skin show: " << endpoint.id()
                     << ": no answer over RawHID (is another program holding the pad?)\n";
            return ExitFailed;
        }
        const auto id = skinID(*device);
        if (!id) {
            call.out << device->id << ": no skin (no device profile for " << device->displayName() << ")\n";
            return ExitFailed;
        }
        const SkinRoots roots = defaultSkinRoots();
        const auto skin = findSkin(*device, roots);
        if (!skin) {
            call.out << device->id << ": no skin \"" << *id << "\" in " << roots.user.string();
            for (const auto& root : roots.bundles)
                call.out << ", " << root.string();
            call.out << "\n";
            return ExitFailed;
        }
        call.out << "folder: " << skin->folder.string() << "\n";
        call.out << "skin: " << skin->manifest.id << " (" << skin->manifest.name << ")\n";
        for (const auto& c : skin->manifest.colorways)
            call.out << "colorway: " << c.id << "\t" << c.name << "\t" << c.swatchHex << "\t" << c.imageFile << "\n";
        return ExitOk;
    }
    call.err << "keyglass-cli skin show: no pad " << wanted << "\n";
    return ExitFailed;
}

bool looksLikeImage(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    char head[8] = {};
    in.read(head, sizeof head);
    const auto got = static_cast<std::size_t>(in.gcount());
    static constexpr unsigned char Png[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    static constexpr unsigned char Jpeg[] = {0xFF, 0xD8, 0xFF};
    auto startsWith = [&](const unsigned char* magic, std::size_t n) {
        return got >= n && std::equal(magic, magic + n, head, [](unsigned char m, char b) {
                   return m == static_cast<unsigned char>(b);
               });
    };
    return startsWith(Png, sizeof Png) || startsWith(Jpeg, sizeof Jpeg);
}

bool fraction(double v)
{
    return v >= 0 && v <= 1;
}

std::vector<std::string> skinProblems(const fs::path& folder)
{
    std::error_code ec;
    if (!fs::is_directory(folder, ec))
        return {"not a folder"};
    const fs::path file = folder / "skin.json";
    if (!fs::is_regular_file(file, ec))
        return {"missing skin.json"};
    const auto manifest = readSkinManifest(file);
    if (!manifest)
        return {"invalid skin.json: " + manifest.error().message};

    std::vector<std::string> problems;
    if (manifest->colorways.empty())
        problems.push_back("no colorways");
    std::set<std::string> ids;
    for (const auto& c : manifest->colorways) {
        if (!ids.insert(c.id).second)
            problems.push_back("colorway \"" + c.id + "\" is listed twice");
        const auto image = colorwayImagePath(folder, c);
        if (!image)
            problems.push_back("colorway \"" + c.id + "\": image \"" + c.imageFile + "\" is not inside the folder");
        else if (!fs::is_regular_file(*image, ec))
            problems.push_back("colorway \"" + c.id + "\": missing image " + c.imageFile);
        else if (!looksLikeImage(*image))
            problems.push_back("colorway \"" + c.id + "\": " + c.imageFile + " is not a PNG or JPEG image");
    }
    for (std::size_t i = 0; i < manifest->keys.size(); ++i) {
        const auto& k = manifest->keys[i];
        if (!fraction(k.x) || !fraction(k.y) || !(k.w > 0) || !(k.h > 0) || !fraction(k.x + k.w) ||
            !fraction(k.y + k.h))
            problems.push_back("keys[" + std::to_string(i) + "] is not inside the image");
    }
    auto circle = [&](const std::string& what, double cx, double cy, double r) {
        if (!fraction(cx) || !fraction(cy) || !(r > 0) || r > 1)
            problems.push_back(what + " is not inside the image");
    };
    for (std::size_t i = 0; i < manifest->encoders.size(); ++i)
        circle("encoders[" + std::to_string(i) + "]",
               manifest->encoders[i].cx,
               manifest->encoders[i].cy,
               manifest->encoders[i].r);
    for (std::size_t i = 0; i < manifest->leds.size(); ++i)
        circle("leds[" + std::to_string(i) + "]", manifest->leds[i].cx, manifest->leds[i].cy, manifest->leds[i].r);
    if (manifest->layerButton)
        circle("layerButton", manifest->layerButton->cx, manifest->layerButton->cy, manifest->layerButton->r);
    return problems;
}

int runValidate(Invocation& call)
{
    if (call.args.size() != 1 || call.args[0].starts_with("-")) {
        call.err << "usage: keyglass-cli skin validate DIR\n";
        return ExitUsage;
    }
    const fs::path folder = call.args[0];
    const auto problems = skinProblems(folder);
    for (const auto& problem : problems)
        call.out << folder.string() << ": " << problem << "\n";
    if (!problems.empty())
        return ExitFailed;
    call.out << folder.string() << ": ok\n";
    return ExitOk;
}

const bool registered =
    registerCommand("skin show", "skin show DEVICE_ID    the skin folder a pad gets and its colorways", runShow) &&
    registerCommand(
        "skin validate", "skin validate DIR      check a skin folder (skin.json and its images)", runValidate);

} // namespace

} // namespace keyglass::cli
