#include "NetworkFetch.h"

#include "updates/WebAddress.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <memory>
#include <optional>

namespace quillmorph::NetworkFetch {

tl::expected<std::string, FetchError> fetch(const FetchRequest& request) {
    if (!isWebAddress(request.url))
        return tl::unexpected(FetchError::unreachable);
    QNetworkAccessManager manager;
    QNetworkRequest networkRequest(QUrl(QString::fromStdString(request.url)));
    networkRequest.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    networkRequest.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    networkRequest.setRawHeader("Cache-Control", "no-cache");
    networkRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                                QNetworkRequest::NoLessSafeRedirectPolicy);
    const std::unique_ptr<QNetworkReply> reply(manager.get(networkRequest));
    // Without a limit Qt's network thread takes in the whole body, however long, before we see it.
    reply->setReadBufferSize(qint64(request.maximumBytes) + 1);

    std::string body;
    std::optional<FetchError> failure;
    const auto stop = [&](FetchError error) {
        if (!failure)
            failure = error;
        reply->abort();
    };
    const auto read = [&] {
        if (failure)
            return;
        const QByteArray chunk = reply->read(qint64(request.maximumBytes - body.size()) + 1);
        body.append(chunk.constData(), std::size_t(chunk.size()));
        if (body.size() > request.maximumBytes)
            stop(FetchError::tooLarge);
    };
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] { stop(FetchError::timedOut); });
    QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, &loop, [&] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toULongLong() > request.maximumBytes)
            stop(FetchError::tooLarge);
    });
    QObject::connect(reply.get(), &QNetworkReply::readyRead, &loop, read);
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    deadline.start(request.timeout);
    if (!reply->isFinished())
        loop.exec();
    if (!failure && reply->bytesAvailable() > 0)
        read();
    if (failure)
        return tl::unexpected(*failure);
    // An answer with a status carries a body worth reading, even an error page; no status means no answer.
    if (reply->error() != QNetworkReply::NoError &&
        !reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
        return tl::unexpected(FetchError::unreachable);
    return body;
}

} // namespace quillmorph::NetworkFetch
