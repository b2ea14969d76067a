#include "engine/core/MemoSalvage.h"

#include <utility>

namespace kx4 {

namespace {
thread_local MemoSalvage* current = nullptr;
}

MemoSalvage::MemoSalvage() : outer_(current) { current = this; }

MemoSalvage::~MemoSalvage() { current = outer_; }

std::vector<MemoSalvage::Problem> MemoSalvage::take() { return std::exchange(problems_, {}); }

bool MemoSalvage::report(const std::string& field, const std::string& reason) {
    if (!current) return false;
    current->problems_.push_back({field, reason});
    return true;
}

}  // namespace kx4
