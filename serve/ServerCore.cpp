#include "serve/ServerCore.h"

#include <vector>

bool ServerCore::IfRunning(const std::function<void()>& post) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!stopped_) {
        post();
    }
    return !stopped_;
}

bool ServerCore::Register(const void* key, CloseFn close) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closing_) {
        return false;
    }
    connections_.emplace(key, std::move(close));
    return true;
}

bool ServerCore::AdmitClient(const std::string& client) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::size_t& held = byClient_[client];
    if (held >= limits.maxConnectionsPerClient) {
        if (held == 0) {
            byClient_.erase(client);
        }
        return false;
    }
    ++held;
    return true;
}

void ServerCore::ReleaseClient(const std::string& client) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = byClient_.find(client);
    if (it != byClient_.end() && --it->second == 0) {
        byClient_.erase(it);
    }
}

void ServerCore::Unregister(const void* key) {
    std::lock_guard<std::mutex> lock(mutex_);
    connections_.erase(key);
}

void ServerCore::CloseAll() {
    std::vector<CloseFn> all;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
        for (auto& entry : connections_) {
            all.push_back(entry.second);
        }
    }
    for (auto& close : all) {
        close();
    }
}

void ServerCore::SetStopped() {
    std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
}
