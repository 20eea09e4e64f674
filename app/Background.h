#pragma once

#include <QFuture>
#include <QPromise>
#include <QThreadPool>
#include <memory>
#include <type_traits>
#include <utility>

namespace quillmorph {

// Runs `work` on a thread of `pool` and hands its result to the future. Attach the continuation
// with future.then(context, ...): it runs on the context's thread and is dropped when the context
// is gone, so the work may outlive whoever asked for it. Canceling the future before the work starts
// skips it.
template <typename Work>
[[nodiscard]] auto runInBackground(Work work, QThreadPool* pool = QThreadPool::globalInstance()) {
    using Result = std::invoke_result_t<Work&>;
    auto promise = std::make_shared<QPromise<Result>>();
    QFuture<Result> future = promise->future();
    promise->start();
    pool->start([promise, work = std::move(work)]() mutable {
        if (!promise->isCanceled()) {
            if constexpr (std::is_void_v<Result>)
                work();
            else
                promise->addResult(work());
        }
        promise->finish();
    });
    return future;
}

} // namespace quillmorph
