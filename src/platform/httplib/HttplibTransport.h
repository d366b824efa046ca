#pragma once
// The CLI's HTTP transport: cpp-httplib's blocking client. start() performs the request on the calling
// thread and calls `done` before it returns, so a one-shot command on a virtual clock needs nothing more
// than running its main queue afterwards.

#include "platform/HttpClient.h"

namespace keyglass {

class HttplibTransport final : public HttpTransport
{
public:
    void start(HttpRequest request, Done done) override;
    /// The same, returning the result.
    static Expected<HttpResponse> perform(const HttpRequest& request);
};

} // namespace keyglass
