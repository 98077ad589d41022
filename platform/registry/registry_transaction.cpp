#include "registry/hive_store.h"
#include "registry/registry.h"

namespace qpx::reg {

Transaction::Transaction(Hive hive, Mode mode) {
    store_ = detail::HiveStore::for_hive(hive, &status_);
    if (store_) status_ = store_->begin(mode == Mode::Write);
    if (status_ != kSuccess) store_ = nullptr;
}

Transaction::~Transaction() {
    if (store_ && !done_) store_->finish(false);
}

Status Transaction::commit() {
    if (!store_) return status_;
    if (done_) return kInvalidHandle;
    done_ = true;
    return store_->finish(true);
}

}  // namespace qpx::reg
