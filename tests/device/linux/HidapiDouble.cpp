#include "HidapiDouble.h"

#include <hidapi/hidapi.h>

#include <algorithm>
#include <cstring>
#include <map>

using keyglass::test::HidapiDouble;

struct hid_device_
{
    std::shared_ptr<keyglass::VirtualPad> pad;
    std::deque<keyglass::RawHidReport> answers;
    std::wstring error;
};

namespace keyglass::test {

HidapiDouble& HidapiDouble::instance()
{
    static HidapiDouble d;
    return d;
}

void HidapiDouble::reset()
{
    *this = HidapiDouble{};
}

} // namespace keyglass::test

namespace {

// Strings handed out by hid_enumerate live until the list is freed.
struct Owned
{
    std::string path;
    std::wstring manufacturer, product, serial;
};

std::map<hid_device_info*, std::unique_ptr<Owned>>& owners()
{
    static std::map<hid_device_info*, std::unique_ptr<Owned>> o;
    return o;
}

std::wstring& globalError()
{
    static std::wstring e;
    return e;
}

} // namespace

extern "C" {

int hid_init(void)
{
    ++HidapiDouble::instance().inits;
    return 0;
}

int hid_exit(void)
{
    return 0;
}

struct hid_device_info* hid_enumerate(unsigned short vendor_id, unsigned short product_id)
{
    auto& d = HidapiDouble::instance();
    ++d.enumerations;
    hid_device_info* head = nullptr;
    hid_device_info** tail = &head;
    for (const auto& i : d.interfaces) {
        if ((vendor_id && vendor_id != i.vid) || (product_id && product_id != i.pid))
            continue;
        auto* owned = new Owned{i.path, i.manufacturer, i.product, i.serial};
        auto* info = new hid_device_info{};
        info->path = owned->path.data();
        info->vendor_id = static_cast<unsigned short>(i.vid);
        info->product_id = static_cast<unsigned short>(i.pid);
        info->serial_number = owned->serial.data();
        info->manufacturer_string = owned->manufacturer.data();
        info->product_string = i.product.empty() ? nullptr : owned->product.data();
        info->usage_page = static_cast<unsigned short>(i.usagePage);
        info->usage = static_cast<unsigned short>(i.usage);
        owners()[info].reset(owned);
        *tail = info;
        tail = &info->next;
    }
    return head;
}

void hid_free_enumeration(struct hid_device_info* devs)
{
    ++HidapiDouble::instance().freedEnumerations;
    while (devs) {
        auto* next = devs->next;
        owners().erase(devs);
        delete devs;
        devs = next;
    }
}

hid_device* hid_open_path(const char* path)
{
    auto& d = HidapiDouble::instance();
    const auto it =
        std::find_if(d.interfaces.begin(), d.interfaces.end(), [&](const auto& i) { return i.path == path; });
    if (it == d.interfaces.end() || (it->pad && it->pad->refusesOpen())) {
        globalError() = L"No such device";
        return nullptr;
    }
    ++d.opens;
    return new hid_device_{it->pad, {}, {}};
}

void hid_close(hid_device* dev)
{
    ++HidapiDouble::instance().closes;
    delete dev;
}

int hid_write(hid_device* dev, const unsigned char* data, size_t length)
{
    auto& d = HidapiDouble::instance();
    d.writes.emplace_back(data, data + length);
    if (d.failWrites || !dev->pad || dev->pad->isDisconnected()) {
        dev->error = d.errorText;
        return -1;
    }
    // hidraw strips the report id 0; the pad sees the 32 bytes after it.
    keyglass::RawHidReport request{};
    if (length > 1)
        std::memcpy(request.data(), data + 1, std::min(length - 1, request.size()));
    const auto delivery = dev->pad->exchange(request);
    if (!delivery.accepted) {
        dev->error = d.errorText;
        return -1;
    }
    for (int i = 0; delivery.answer && i < delivery.copies; ++i)
        dev->answers.push_back(*delivery.answer);
    return d.shortWrite ? *d.shortWrite : static_cast<int>(length);
}

int hid_read_timeout(hid_device* dev, unsigned char* data, size_t length, int milliseconds)
{
    auto& d = HidapiDouble::instance();
    d.readTimeoutsMs.push_back(milliseconds);
    if (d.failReads || (dev->pad && dev->pad->isDisconnected())) {
        dev->error = d.errorText;
        return -1;
    }
    if (dev->answers.empty())
        return 0; // hidraw: nothing arrived within the timeout
    const auto& answer = dev->answers.front();
    const size_t n = std::min(length, answer.size());
    std::memcpy(data, answer.data(), n);
    dev->answers.pop_front();
    return static_cast<int>(n);
}

const wchar_t* hid_error(hid_device* dev)
{
    ++HidapiDouble::instance().errorQueries;
    return dev ? dev->error.c_str() : globalError().c_str();
}

} // extern "C"
