#pragma once
// The app's HTTP transport: one QNetworkAccessManager on the main thread. Qt's transfer timeout only
// limits the silence between reads, so each request also gets a single-shot timer for its whole
// deadline; bodies above MaxHttpResponseBytes are aborted while they arrive.

#include "platform/HttpClient.h"

#include <memory>

class QNetworkAccessManager;

namespace keyglass {

class QtHttpTransport final : public HttpTransport
{
public:
    QtHttpTransport();
    ~QtHttpTransport() override;
    /// Must be called on the thread that created the transport (the main thread).
    void start(HttpRequest request, Done done) override;

private:
    std::unique_ptr<QNetworkAccessManager> m_manager;
};

} // namespace keyglass
