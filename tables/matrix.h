// Matrix: the two-dimensional table of the program (category x category
// weights, category x rater marginals, pattern x rater codes, ...).
#pragma once

#include <cstddef>
#include <span>
#include <utility>
#include <vector>

namespace kappa {

// A two-dimensional table stored row after row; table[row][column].
template <typename T>
class Matrix {
public:
    Matrix() = default;
    Matrix(std::size_t rows, std::size_t cols) : rows_(rows), cols_(cols), cells_(rows * cols) {}
    Matrix(std::size_t rows, std::size_t cols, std::vector<T> cells)
        : rows_(rows), cols_(cols), cells_(std::move(cells)) {
        cells_.resize(rows * cols);
    }

    // Resizes the table and sets every cell to zero.
    void reset(std::size_t rows, std::size_t cols) {
        rows_ = rows;
        cols_ = cols;
        cells_.assign(rows * cols, T{});
    }

    std::span<T> operator[](std::size_t row) { return {cells_.data() + row * cols_, cols_}; }
    std::span<const T> operator[](std::size_t row) const { return {cells_.data() + row * cols_, cols_}; }

    std::size_t rows() const { return rows_; }
    std::size_t cols() const { return cols_; }

private:
    std::size_t rows_ = 0;
    std::size_t cols_ = 0;
    std::vector<T> cells_;
};

}  // namespace kappa
