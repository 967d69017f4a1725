#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace kestrine {

// HTTP/1.1's chunked transfer coding taken off piece by piece, as bytes
// come: sizes, extensions, line ends and trailers dropped, the data handed
// on. What is not chunked framing (a body cut short, junk) ends the reading
// and is said by Failed().
class ChunkedDecoder {
 public:
  using Sink = std::function<void(std::string_view)>;
  explicit ChunkedDecoder(Sink sink) : sink_(std::move(sink)) {}

  void Add(std::string_view bytes);
  // The last chunk and its trailers came.
  bool Done() const { return state_ == State::Done; }
  bool Failed() const { return state_ == State::Failed; }

 private:
  enum class State {
    Size,
    Extension,
    SizeLineEnd,
    Data,
    DataEnd,
    DataLineEnd,
    Trailer,
    Done,
    Failed
  };
  std::size_t Step(std::string_view bytes);

  Sink sink_;
  State state_ = State::Size;
  std::uint64_t left_ = 0;
  int digits_ = 0;
  // Characters of the trailer line under way; an empty line ends it.
  std::size_t trailerLine_ = 0;
};

}  // namespace kestrine
