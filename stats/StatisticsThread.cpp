#include "stats/StatisticsThread.h"

#include <cstdint>
#include <cstring>
#include <mutex>

#include "framework/UniqueHandle.h"
#include "network/HttpClient.h"

// What the window thread and a query's thread share: the query's thread may
// outlive the StatisticsThread that started it, so it holds its own share.
struct StatisticsThread::Job {
    std::mutex mutex;
    HWND replyTo = nullptr;  // null once nobody waits for the result
    UINT message = 0;
    HttpClient http;
    std::wstring login, password, replyFile;
    UniqueKernelHandle finished{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

namespace {
// A 32-bit float travels in a message parameter as its bits.
std::uintptr_t BitsOf(float value) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

float FloatOf(std::uintptr_t parameter) {
    std::uint32_t bits = static_cast<std::uint32_t>(parameter);
    float value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}
}  // namespace

void StatisticsThread::Start(HWND replyTo, UINT message, const HttpClient& server, const wchar_t* login,
                             const wchar_t* password, const std::wstring& replyFile) {
    if (thread_.joinable()) thread_.join();  // it has reported, so it is at its end
    job_ = std::make_shared<Job>();
    job_->replyTo = replyTo;
    job_->message = message;
    job_->http.CopyServer(server);
    job_->login = login;
    job_->password = password;
    job_->replyFile = replyFile;
    thread_ = std::thread([job = job_] { Run(job); });
}

void StatisticsThread::Stop() {
    if (!job_) return;
    {
        std::lock_guard<std::mutex> lock(job_->mutex);
        job_->replyTo = nullptr;
    }
    job_->http.Cancel();
    if (thread_.joinable()) {
        if (WaitForSingleObject(job_->finished.get(), kStopWaitMs) == WAIT_OBJECT_0) {
            thread_.join();
        } else {
            thread_.detach();
        }
    }
    job_.reset();
}

AccountFigures StatisticsThread::FiguresOf(WPARAM wParam, LPARAM lParam) {
    return AccountFigures{FloatOf(wParam), FloatOf(static_cast<std::uintptr_t>(lParam))};
}

void StatisticsThread::Run(const std::shared_ptr<Job>& job) {
    AccountFigures figures = QueryAccountFigures(job->http, job->login.c_str(), job->password.c_str(),
                                                 job->replyFile.c_str());
    {
        std::lock_guard<std::mutex> lock(job->mutex);
        if (job->replyTo) {
            PostMessageW(job->replyTo, job->message, BitsOf(figures.balance),
                         static_cast<LPARAM>(BitsOf(figures.credit)));
        }
    }
    SetEvent(job->finished.get());
}
