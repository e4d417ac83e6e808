#pragma once
// A growable array of plain rows for the tables of a large job, in a block of large_block.h:
// growing it moves pages rather than copying rows.

#include <cstddef>
#include <cstring>
#include <new>
#include <span>
#include <type_traits>
#include <utility>

#include "model/large_block.h"

namespace fenwix {

template <typename Row>
class RecordArray {
  static_assert(std::is_trivially_copyable_v<Row> && std::is_trivially_destructible_v<Row>,
                "rows are moved as bytes");

 public:
  RecordArray() = default;
  RecordArray(const RecordArray& other) { *this = other; }
  RecordArray(RecordArray&& other) noexcept { Swap(other); }
  RecordArray& operator=(const RecordArray& other) {
    if (this != &other) {
      clear();
      reserve(other.size_);
      if (other.size_ > 0) std::memcpy(static_cast<void*>(rows_), other.rows_, other.Bytes());
      size_ = other.size_;
    }
    return *this;
  }
  RecordArray& operator=(RecordArray&& other) noexcept {
    Swap(other);
    return *this;
  }
  ~RecordArray() { FreeBlock(rows_, capacity_ * sizeof(Row)); }

  void push_back(const Row& row) {
    if (size_ == capacity_) reserve(capacity_ == 0 ? INITIAL_ROWS : capacity_ * 2);
    new (rows_ + size_) Row(row);
    ++size_;
  }
  // Keeps the block, so that reading the next job of the same size allocates nothing.
  void clear() { size_ = 0; }
  void reserve(size_t rows) {
    if (rows <= capacity_) return;
    void* grown = ResizeBlock(rows_, capacity_ * sizeof(Row), rows * sizeof(Row));
    if (grown == nullptr) throw std::bad_alloc();
    rows_ = static_cast<Row*>(grown);
    capacity_ = rows;
  }

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  size_t capacity() const { return capacity_; }
  Row& operator[](size_t i) { return rows_[i]; }
  const Row& operator[](size_t i) const { return rows_[i]; }
  Row& back() { return rows_[size_ - 1]; }
  const Row* begin() const { return rows_; }
  const Row* end() const { return rows_ + size_; }
  operator std::span<const Row>() const { return {rows_, size_}; }

 private:
  static constexpr size_t INITIAL_ROWS = 64;
  size_t Bytes() const { return size_ * sizeof(Row); }
  void Swap(RecordArray& other) noexcept {
    std::swap(rows_, other.rows_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
  }

  Row* rows_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

}  // namespace fenwix
