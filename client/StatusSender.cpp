#include "StatusSender.h"

#include <thread>

StatusSender::StatusSender(SocketManager& manager_, ClientState& state_) : manager(manager_), state(state_) {}

void StatusSender::StartStatusSend(bool reportFailures) {
    {
        std::lock_guard<std::mutex> guard(lock);
        ++running;
    }
    try {
        std::thread(&StatusSender::SendStatusThread, this, reportFailures).detach();
    } catch (const std::system_error&) {
        // No thread to be had: this send is lost like any failed one; the next tick tries again.
        std::lock_guard<std::mutex> guard(lock);
        --running;
        allDone.notify_all();
    }
}

void StatusSender::SendStatusThread(bool reportFailures) {
    Socket* endpoint = nullptr;
    try {
        endpoint = manager.CreateSocket();
        endpoint->Bind(0);
        ClientConfig config = state.ConfigCopy();
        endpoint->Connect(config.serverAddress, static_cast<std::uint16_t>(config.port & 0xFFFF));
        StatusRecord record = state.RecordCopy();  // the record as it is now, after the connect
        endpoint->Send(record.Bytes(), StatusRecord::Size);
        endpoint->Close();
    } catch (CExcept e) {
        if (reportFailures && showFailure) showFailure(e.GetText());
    }
    delete endpoint;
    std::lock_guard<std::mutex> guard(lock);
    if (--running == 0) allDone.notify_all();
}

bool StatusSender::WaitForSends(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> guard(lock);
    return allDone.wait_for(guard, limit, [this] { return running == 0; });
}

int StatusSender::RunningSends() {
    std::lock_guard<std::mutex> guard(lock);
    return running;
}
