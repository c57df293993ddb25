#pragma once
// One-based array views over contiguous storage.
//
// Node, element and point numbers are 1-based values throughout the program;
// these two containers are the one place where they are turned into offsets.
// Vec1<T>: a vector indexed 1..n.  Mat1<T>: a column-major matrix indexed
// (row 1..rows, column 1..cols), so that nop(k, e) is local node k of element
// e and fld(k, i) is field k of node i, each column contiguous.

#include <cassert>
#include <cstddef>
#include <vector>

template <class T>
struct Vec1 {
  std::vector<T> v;  // storage; v[0] holds entry 1

  Vec1() = default;
  explicit Vec1(std::size_t n, const T& init = T()) : v(n, init) {}

  void assign(std::size_t n, const T& init = T()) { v.assign(n, init); }
  void resize(std::size_t n, const T& init = T()) { v.resize(n, init); }
  void clear() { v.clear(); }
  [[nodiscard]] int size() const { return static_cast<int>(v.size()); }
  [[nodiscard]] bool empty() const { return v.empty(); }
  T* data() { return v.data(); }
  const T* data() const { return v.data(); }
  void push_back(const T& x) { v.push_back(x); }

  T& operator()(int i) {
    assert(i >= 1 && static_cast<std::size_t>(i) <= v.size());
    return v[static_cast<std::size_t>(i - 1)];
  }
  const T& operator()(int i) const {
    assert(i >= 1 && static_cast<std::size_t>(i) <= v.size());
    return v[static_cast<std::size_t>(i - 1)];
  }
  auto begin() { return v.begin(); }
  auto end() { return v.end(); }
  auto begin() const { return v.begin(); }
  auto end() const { return v.end(); }
};

template <class T>
struct Mat1 {
  int rows = 0;       // leading dimension (entries per column)
  int cols = 0;       // number of columns
  std::vector<T> v;   // column-major storage, rows*cols entries

  Mat1() = default;
  Mat1(int r, int c, const T& init = T()) { assign(r, c, init); }

  void assign(int r, int c, const T& init = T()) {
    rows = r;
    cols = c;
    v.assign(static_cast<std::size_t>(r) * static_cast<std::size_t>(c), init);
  }
  void clear() { rows = cols = 0; v.clear(); }
  T* data() { return v.data(); }
  const T* data() const { return v.data(); }
  // Pointer to the first entry of column j (1-based).
  T* col(int j) { return v.data() + static_cast<std::size_t>(j - 1) * rows; }
  const T* col(int j) const { return v.data() + static_cast<std::size_t>(j - 1) * rows; }

  T& operator()(int i, int j) {
    assert(i >= 1 && i <= rows && j >= 1 && j <= cols);
    return v[static_cast<std::size_t>(j - 1) * rows + static_cast<std::size_t>(i - 1)];
  }
  const T& operator()(int i, int j) const {
    assert(i >= 1 && i <= rows && j >= 1 && j <= cols);
    return v[static_cast<std::size_t>(j - 1) * rows + static_cast<std::size_t>(i - 1)];
  }
};

// Fixed-size array indexed 1..N, for the small tables of the records.
template <class T, int N>
struct Fix1 {
  T a[N] = {};  // a[0] holds entry 1

  T& operator()(int i) {
    assert(i >= 1 && i <= N);
    return a[i - 1];
  }
  const T& operator()(int i) const {
    assert(i >= 1 && i <= N);
    return a[i - 1];
  }
  static constexpr int size() { return N; }
  T* begin() { return a; }
  T* end() { return a + N; }
  const T* begin() const { return a; }
  const T* end() const { return a + N; }
};
