#pragma once
// A stand-in for the few hidapi C functions the Linux adapter calls, with VirtualPads on the far side
// of the wire. The adapter's source is linked against it instead of libhidapi, so the adapter runs
// end to end: report ids, write lengths, timeouts, errors and disconnects as hidapi reports them.

#include "sim/VirtualPad.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace keyglass::test {

struct DoubleInterface
{
    std::string path;
    int vid = 0;
    int pid = 0;
    int usagePage = 0;
    int usage = 0;
    std::wstring manufacturer;
    std::wstring product;
    std::wstring serial;
    /// Answers what is written; none for an interface nobody answers on.
    std::shared_ptr<VirtualPad> pad;
};

struct HidapiDouble
{
    static HidapiDouble& instance();
    void reset();

    std::vector<DoubleInterface> interfaces;

    // --- behaviour ---
    /// hid_write returns this many bytes (the whole request still reaches the pad: a short count is
    /// what the kernel reports).
    std::optional<int> shortWrite;
    bool failWrites = false;
    bool failReads = false;
    std::wstring errorText = L"Broken pipe";

    // --- what the adapter did ---
    int inits = 0;
    int enumerations = 0;
    int freedEnumerations = 0;
    int opens = 0;
    int closes = 0;
    std::vector<std::vector<std::uint8_t>> writes; // the bytes exactly as passed to hid_write
    std::vector<int> readTimeoutsMs;
    int errorQueries = 0;
};

} // namespace keyglass::test
