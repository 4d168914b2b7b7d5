#include "server/http_transport.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <list>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include <curl/curl.h>

namespace {
qint64 nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void initialiseCurl()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// The longest the loop sleeps without a reason to wake up.
constexpr long maxPollMs = 1000;

// The most a reply body can hold in memory here, whatever a request allows.
constexpr qint64 largestBodyBytes = qint64(1) << 30;

QString tooLargeText(qint64 maxBytes)
{
    return QStringLiteral("Reply too large (more than %1 bytes)").arg(maxBytes);
}
} // namespace

struct HttpTransport::Worker
{
    struct Transfer
    {
        Request request;
        Result result;
        CURL* easy = nullptr;
        curl_slist* headerList = nullptr;
        char errorBuffer[CURL_ERROR_SIZE] = {};
        // The most body bytes taken (the request's limit, within reason).
        qint64 maxBodyBytes = 0;
        // Why this side gave the transfer up from a callback; empty: it did not.
        QString abandoned;
        // A connection, new (with its TLS handshake) or kept from before,
        // was ready for the request.
        bool connected = false;
        qint64 startedMs = 0;
        qint64 lastActivityMs = 0;
        curl_off_t lastDown = 0;
        curl_off_t lastUp = 0;
    };

    explicit Worker(Finished callback)
        : finished(std::move(callback))
    {
        initialiseCurl();
        multi = curl_multi_init();
        thread = std::thread([this] { run(); });
    }

    ~Worker()
    {
        {
            std::lock_guard<std::mutex> locker(mutex);
            stopping = true;
        }
        curl_multi_wakeup(multi);
        thread.join();
        curl_multi_cleanup(multi);
    }

    void submit(Request request)
    {
        {
            std::lock_guard<std::mutex> locker(mutex);
            incoming.push_back(std::move(request));
        }
        curl_multi_wakeup(multi);
    }

    void cancelAll()
    {
        {
            std::lock_guard<std::mutex> locker(mutex);
            incoming.clear();
            ++cancelGeneration;
        }
        curl_multi_wakeup(multi);
        // Once the loop has seen the cancel, no result of before is reported.
        std::unique_lock<std::mutex> locker(mutex);
        cancelSeen.wait(locker, [this] { return seenGeneration == cancelGeneration || stopping; });
    }

    void run()
    {
        for (;;) {
            std::vector<Request> taken;
            bool cancel = false;
            {
                std::lock_guard<std::mutex> locker(mutex);
                if (stopping)
                    break;
                taken.swap(incoming);
                if (seenGeneration != cancelGeneration) {
                    cancel = true;
                    seenGeneration = cancelGeneration;
                }
            }
            if (cancel) {
                dropAll();
                cancelSeen.notify_all();
            }
            for (Request& request : taken)
                start(std::move(request));

            int running = 0;
            curl_multi_perform(multi, &running);
            collectFinished();
            expireLate();

            long waitMs = maxPollMs;
            long curlMs = -1;
            curl_multi_timeout(multi, &curlMs);
            if (curlMs >= 0)
                waitMs = std::min(waitMs, curlMs);
            const qint64 now = nowMs();
            for (const Transfer* transfer : active)
                waitMs = std::min<long>(waitMs, std::max<qint64>(0, deadline(*transfer) - now));
            if (waitMs > 0)
                curl_multi_poll(multi, nullptr, 0, int(waitMs), nullptr);
        }
        dropAll();
        cancelSeen.notify_all();
    }

    void start(Request request)
    {
        auto* transfer = new Transfer;
        transfer->request = std::move(request);
        transfer->result.id = transfer->request.id;
        transfer->maxBodyBytes = std::clamp<qint64>(transfer->request.maxBodyBytes, 0, largestBodyBytes);
        transfer->startedMs = nowMs();
        transfer->lastActivityMs = transfer->startedMs;
        CURL* easy = curl_easy_init();
        transfer->easy = easy;
        if (!easy) {
            transfer->result.failed = true;
            transfer->result.errorText = QStringLiteral("Cannot create an HTTP transfer");
            report(transfer);
            return;
        }
        const Request& r = transfer->request;
        curl_easy_setopt(easy, CURLOPT_URL, r.url.constData());
        curl_easy_setopt(easy, CURLOPT_PRIVATE, transfer);
        curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer->errorBuffer);
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
        curl_easy_setopt(easy, CURLOPT_TCP_NODELAY, 1L);
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
        // An empty proxy is none at all, also when http_proxy is set.
        curl_easy_setopt(easy, CURLOPT_PROXY, "");
        // Name lookup and connection within the idle time-out: they move no
        // byte either.
        if (r.idleTimeoutMs > 0)
            curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, long(r.idleTimeoutMs));
        // A reply that announces its size is refused before its body comes.
        curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(transfer->maxBodyBytes));
#if CURL_AT_LEAST_VERSION(7, 87, 0)
        // A transfer dropped in the middle of a name lookup leaves the lookup
        // to end on its own thread: dropping it would otherwise wait for it,
        // and a lookup can hang for minutes, holding every other transfer
        // and the shutdown.
        curl_easy_setopt(easy, CURLOPT_QUICK_EXIT, 1L);
#endif
        if (r.ignoreTlsErrors) {
            curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 0L);
            curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 0L);
        }
        for (const auto& header : r.headers)
            transfer->headerList =
                curl_slist_append(transfer->headerList, (header.first + ": " + header.second).constData());
        // No "Expect: 100-continue": the body goes with the headers.
        transfer->headerList = curl_slist_append(transfer->headerList, "Expect:");
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer->headerList);
        if (r.post) {
            curl_easy_setopt(easy, CURLOPT_POST, 1L);
            curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(r.body.size()));
            curl_easy_setopt(easy, CURLOPT_POSTFIELDS, r.body.constData());
        } else {
            curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
        }
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Worker::onBody);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, transfer);
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Worker::onHeader);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, transfer);
        curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &Worker::onProgress);
        curl_easy_setopt(easy, CURLOPT_XFERINFODATA, transfer);
        curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, &Worker::onConnected);
        curl_easy_setopt(easy, CURLOPT_PREREQDATA, transfer);
        if (curl_multi_add_handle(multi, easy) != CURLM_OK) {
            transfer->result.failed = true;
            transfer->result.errorText = QStringLiteral("Cannot start an HTTP transfer");
            report(transfer);
            return;
        }
        active.push_back(transfer);
    }

    // Any return but the size given ends the transfer (CURLE_WRITE_ERROR).
    static size_t onBody(char* data, size_t size, size_t count, void* user)
    {
        auto* transfer = static_cast<Transfer*>(user);
        const size_t bytes = size * count;
        if (qint64(bytes) > transfer->maxBodyBytes - transfer->result.body.size()) {
            transfer->abandoned = tooLargeText(transfer->maxBodyBytes);
            return 0;
        }
        try {
            transfer->result.body.append(data, int(bytes));
        } catch (const std::bad_alloc&) {
            // Nothing may leave a libcurl callback by an exception.
            transfer->abandoned = QStringLiteral("Reply too large for the memory left");
            return 0;
        }
        transfer->lastActivityMs = nowMs();
        return bytes;
    }

    static size_t onHeader(char* data, size_t size, size_t count, void* user)
    {
        auto* transfer = static_cast<Transfer*>(user);
        transfer->lastActivityMs = nowMs();
        const QByteArray line = QByteArray(data, int(size * count)).trimmed();
        if (line.startsWith("HTTP/")) {
            // A new status line (after a 100 Continue): its headers start over.
            transfer->result.headers.clear();
        } else {
            const int colon = line.indexOf(':');
            if (colon > 0)
                transfer->result.headers.append(
                    qMakePair(line.left(colon).trimmed(), line.mid(colon + 1).trimmed()));
        }
        return size * count;
    }

    static int onProgress(void* user, curl_off_t, curl_off_t down, curl_off_t, curl_off_t up)
    {
        auto* transfer = static_cast<Transfer*>(user);
        if (down != transfer->lastDown || up != transfer->lastUp) {
            transfer->lastDown = down;
            transfer->lastUp = up;
            transfer->lastActivityMs = nowMs();
        }
        return 0;
    }

    static int onConnected(void* user, char*, char*, int, int)
    {
        static_cast<Transfer*>(user)->connected = true;
        return CURL_PREREQFUNC_OK;
    }

    void collectFinished()
    {
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
            if (message->msg != CURLMSG_DONE)
                continue;
            Transfer* transfer = nullptr;
            curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &transfer);
            const CURLcode code = message->data.result;
            long status = 0;
            curl_easy_getinfo(message->easy_handle, CURLINFO_RESPONSE_CODE, &status);
            transfer->result.status = int(status);
            if (code != CURLE_OK) {
                transfer->result.failed = true;
                // Without a connection the only time-out is the connection's,
                // which is the idle one.
                transfer->result.timedOut = code == CURLE_OPERATION_TIMEDOUT;
                transfer->result.unreachable = code == CURLE_COULDNT_RESOLVE_PROXY
                                               || code == CURLE_COULDNT_RESOLVE_HOST
                                               || code == CURLE_COULDNT_CONNECT || code == CURLE_SSL_CONNECT_ERROR
                                               || code == CURLE_PEER_FAILED_VERIFICATION
                                               || !transfer->connected;
                if (!transfer->abandoned.isEmpty())
                    transfer->result.errorText = transfer->abandoned;
                else if (code == CURLE_FILESIZE_EXCEEDED)
                    transfer->result.errorText = tooLargeText(transfer->maxBodyBytes);
                else
                    transfer->result.errorText = QString::fromUtf8(
                        transfer->errorBuffer[0] ? transfer->errorBuffer : curl_easy_strerror(code));
            }
            detach(transfer);
            report(transfer);
        }
    }

    // When the transfer fails unless it has ended: the idle time-out's end
    // (every byte moved puts it off), or the overall one's if that comes
    // first.
    static qint64 deadline(const Transfer& transfer)
    {
        const qint64 idle = transfer.lastActivityMs + transfer.request.idleTimeoutMs;
        if (transfer.request.totalTimeoutMs <= 0)
            return idle;
        return std::min(idle, transfer.startedMs + transfer.request.totalTimeoutMs);
    }

    void expireLate()
    {
        const qint64 now = nowMs();
        for (auto it = active.begin(); it != active.end();) {
            Transfer* transfer = *it;
            if (now < deadline(*transfer)) {
                ++it;
                continue;
            }
            it = active.erase(it);
            // A connection attempt that got no answer at all (the packets
            // dropped on the way) is no connection either.
            transfer->result.unreachable = !transfer->connected;
            long status = 0;
            curl_easy_getinfo(transfer->easy, CURLINFO_RESPONSE_CODE, &status);
            transfer->result.status = int(status);
            curl_multi_remove_handle(multi, transfer->easy);
            transfer->result.failed = true;
            if (now - transfer->lastActivityMs >= transfer->request.idleTimeoutMs)
                transfer->result.timedOut = true;
            else
                transfer->result.errorText =
                    QStringLiteral("Answer not complete within %1 ms").arg(transfer->request.totalTimeoutMs);
            report(transfer);
        }
    }

    void detach(Transfer* transfer)
    {
        active.remove(transfer);
        curl_multi_remove_handle(multi, transfer->easy);
    }

    void report(Transfer* transfer)
    {
        Result result = std::move(transfer->result);
        destroy(transfer);
        // Under the lock: once cancelAll() has returned, nothing of before
        // is on its way to the caller.
        std::lock_guard<std::mutex> locker(mutex);
        const bool cancelled = seenGeneration != cancelGeneration || stopping;
        if (!cancelled && finished)
            finished(std::move(result));
    }

    void destroy(Transfer* transfer)
    {
        if (transfer->easy)
            curl_easy_cleanup(transfer->easy);
        curl_slist_free_all(transfer->headerList);
        delete transfer;
    }

    void dropAll()
    {
        for (Transfer* transfer : active) {
            curl_multi_remove_handle(multi, transfer->easy);
            destroy(transfer);
        }
        active.clear();
    }

    Finished finished;
    CURLM* multi = nullptr;
    std::list<Transfer*> active;
    std::mutex mutex;
    std::condition_variable cancelSeen;
    std::vector<Request> incoming;
    int cancelGeneration = 0;
    int seenGeneration = 0;
    bool stopping = false;
    std::thread thread;
};

HttpTransport::HttpTransport(Finished finished)
    : worker(std::make_unique<Worker>(std::move(finished)))
{}

HttpTransport::~HttpTransport() = default;

void HttpTransport::submit(Request request)
{
    worker->submit(std::move(request));
}

void HttpTransport::cancelAll()
{
    worker->cancelAll();
}
