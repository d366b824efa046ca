#include "app/qt/QtHttpTransport.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

namespace keyglass {

QtHttpTransport::QtHttpTransport() : m_manager(std::make_unique<QNetworkAccessManager>()) {}

QtHttpTransport::~QtHttpTransport() = default;

namespace {

struct ReplyState
{
    bool timedOut = false;
    bool tooLarge = false;
    bool finished = false;
};

Error replyError(const QNetworkReply& reply, const ReplyState& state)
{
    if (state.tooLarge)
        return httpError(HttpTooLarge, "The response is larger than 4 MiB");
    if (state.timedOut)
        return httpError(HttpTimedOut, "The request timed out");
    switch (reply.error()) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::HostNotFoundError:
        return httpError(HttpCannotConnect, "Could not connect to the server");
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError:
        return httpError(HttpTimedOut, "The request timed out");
    default:
        return httpError(HttpFailed, reply.errorString().toStdString());
    }
}

} // namespace

void QtHttpTransport::start(HttpRequest request, Done done)
{
    const QUrl url(QString::fromStdString(request.url));
    if (!url.isValid() || (url.scheme() != "http" && url.scheme() != "https")) {
        done(unexpected(httpError(HttpBadURL, "Unsupported URL")));
        return;
    }
    QNetworkRequest qrequest(url);
    for (const auto& [name, value] : request.headers)
        qrequest.setRawHeader(QByteArray::fromStdString(name), QByteArray::fromStdString(value));
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(request.timeout).count();
    qrequest.setTransferTimeout(static_cast<int>(ms));

    QNetworkReply* reply = request.method == HttpMethod::post
                               ? m_manager->post(qrequest, QByteArray::fromStdString(request.body))
                               : m_manager->get(qrequest);
    auto state = std::make_shared<ReplyState>();

    auto* deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    QObject::connect(deadline, &QTimer::timeout, reply, [reply, state] {
        state->timedOut = true;
        reply->abort();
    });
    deadline->start(static_cast<int>(ms));

    QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply, state] {
        if (static_cast<std::size_t>(reply->bytesAvailable()) > MaxHttpResponseBytes) {
            state->tooLarge = true;
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, state, done = std::move(done)] {
        if (state->finished)
            return;
        state->finished = true;
        reply->deleteLater();
        if (state->timedOut || state->tooLarge || reply->error() != QNetworkReply::NoError) {
            // An HTTP error status still carries a body the caller decodes (a refusal with reasons).
            const bool httpStatusOnly = !state->timedOut && !state->tooLarge &&
                                        reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid() &&
                                        reply->error() >= QNetworkReply::ContentAccessDenied;
            if (!httpStatusOnly) {
                done(unexpected(replyError(*reply, *state)));
                return;
            }
        }
        HttpResponse response;
        response.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QByteArray body = reply->readAll();
        if (static_cast<std::size_t>(body.size()) > MaxHttpResponseBytes) {
            done(unexpected(httpError(HttpTooLarge, "The response is larger than 4 MiB")));
            return;
        }
        response.body = body.toStdString();
        response.contentType = reply->header(QNetworkRequest::ContentTypeHeader).toString().toStdString();
        done(std::move(response));
    });
}

} // namespace keyglass
