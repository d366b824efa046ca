#pragma once

#include "support/StoreRig.h"

#include <gtest/gtest.h>

#include <memory>

namespace keyglass::test {

/// A store over virtual pads with a virtual clock, an in-memory settings store and a scripted desktop,
/// in a temporary home.
class StoreTest : public ::testing::Test, protected StoreRig
{
protected:
    std::shared_ptr<VirtualPad> addPad(std::string_view padArgument)
    {
        auto pad = StoreRig::addPad(padArgument);
        EXPECT_NE(pad, nullptr) << padError;
        return pad;
    }

    const DeviceModel& device(const std::string& id)
    {
        const DeviceModel* model = store->device(id);
        EXPECT_NE(model, nullptr) << id;
        static const DeviceModel none;
        return model ? *model : none;
    }

    int refreshLogLines() const
    {
        int count = 0;
        for (const auto& line : log.lines())
            count += line.find("] Refreshed ") != std::string::npos;
        return count;
    }

    LogCapture log;
};

} // namespace keyglass::test
