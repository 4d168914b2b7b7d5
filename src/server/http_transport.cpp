#include "server/http_transport.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <list>
#include <mutex>
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
            expireIdle();

            long waitMs = maxPollMs;
            long curlMs = -1;
            curl_multi_timeout(multi, &curlMs);
            if (curlMs >= 0)
                waitMs = std::min(waitMs, curlMs);
            const qint64 now = nowMs();
            for (const Transfer* transfer : active)
                waitMs =
                    std::min<long>(waitMs, std::max<qint64>(0, transfer->lastActivityMs
                                                                   + transfer->request.idleTimeoutMs - now));
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
        transfer->lastActivityMs = nowMs();
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
        if (curl_multi_add_handle(multi, easy) != CURLM_OK) {
            transfer->result.failed = true;
            transfer->result.errorText = QStringLiteral("Cannot start an HTTP transfer");
            report(transfer);
            return;
        }
        active.push_back(transfer);
    }

    static size_t onBody(char* data, size_t size, size_t count, void* user)
    {
        auto* transfer = static_cast<Transfer*>(user);
        transfer->result.body.append(data, int(size * count));
        transfer->lastActivityMs = nowMs();
        return size * count;
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
                transfer->result.unreachable =
                    code == CURLE_COULDNT_RESOLVE_PROXY || code == CURLE_COULDNT_RESOLVE_HOST
                    || code == CURLE_COULDNT_CONNECT || code == CURLE_SSL_CONNECT_ERROR
                    || code == CURLE_PEER_FAILED_VERIFICATION;
                transfer->result.errorText = QString::fromUtf8(
                    transfer->errorBuffer[0] ? transfer->errorBuffer : curl_easy_strerror(code));
            }
            detach(transfer);
            report(transfer);
        }
    }

    void expireIdle()
    {
        const qint64 now = nowMs();
        for (auto it = active.begin(); it != active.end();) {
            Transfer* transfer = *it;
            if (now - transfer->lastActivityMs < transfer->request.idleTimeoutMs) {
                ++it;
                continue;
            }
            it = active.erase(it);
            curl_multi_remove_handle(multi, transfer->easy);
            transfer->result.failed = true;
            transfer->result.timedOut = true;
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
        bool cancelled = false;
        {
            std::lock_guard<std::mutex> locker(mutex);
            cancelled = seenGeneration != cancelGeneration || stopping;
        }
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
