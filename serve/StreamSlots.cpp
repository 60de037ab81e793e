#include "serve/StreamSlots.h"

namespace {

class SlotStream : public ChunkSource {
public:
    SlotStream(std::shared_ptr<ChunkSource> inner, std::shared_ptr<std::atomic<int>> taken)
        : inner_(std::move(inner)), taken_(std::move(taken)) {}
    ~SlotStream() override { --*taken_; }
    Pull Next(std::string* chunk) override { return inner_->Next(chunk); }
    void OnReady(std::function<void()> wake) override { inner_->OnReady(std::move(wake)); }
    void Closed() override { inner_->Closed(); }

private:
    std::shared_ptr<ChunkSource> inner_;
    std::shared_ptr<std::atomic<int>> taken_;
};

}  // namespace

std::shared_ptr<ChunkSource> StreamSlots::Start(
    const std::function<std::shared_ptr<ChunkSource>()>& make) {
    if (taken_->fetch_add(1) >= most_) {
        --*taken_;
        return nullptr;
    }
    std::shared_ptr<ChunkSource> inner;
    try {
        inner = make();
    } catch (...) {
        --*taken_;
        throw;
    }
    return std::make_shared<SlotStream>(std::move(inner), taken_);
}
