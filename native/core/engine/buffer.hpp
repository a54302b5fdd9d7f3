#pragma once
// Fresh arrays for large fields and results, and the element-wise passes
// that fill them. A new 36 MB field faulted in page by page costs more than
// reading or computing it, so large arrays ask for huge pages before their
// first touch; the passes run on the worker pool in large blocks.
#include <cstddef>
#include <vector>

#include "parallel.hpp"

namespace wrf {

// n zeroed doubles; huge-page backed when large enough and allowed.
std::vector<double> fresh_doubles(std::size_t n);

// A fresh array holding the same values, copied on the worker pool.
std::vector<double> fresh_copy(const std::vector<double>& values);

// A fresh array of n values, out[i] = op(in[i]...). Each element is
// computed by itself, so the result does not depend on the thread count.
template <class Op, class... In>
std::vector<double> elementwise(std::size_t n, Op op, const In*... in) {
    std::vector<double> out = fresh_doubles(n);
    double* o = out.data();
    parallel::for_blocks(n, [&](std::size_t b, std::size_t e) {
        for (std::size_t i = b; i < e; ++i) o[i] = op(in[i]...);
    });
    return out;
}

// values[i] = op(values[i], in[i]...) for every i < values.size().
template <class Op, class... In>
void update_elementwise(std::vector<double>& values, Op op, const In*... in) {
    double* v = values.data();
    parallel::for_blocks(values.size(), [&](std::size_t b, std::size_t e) {
        for (std::size_t i = b; i < e; ++i) v[i] = op(v[i], in[i]...);
    });
}

}  // namespace wrf
