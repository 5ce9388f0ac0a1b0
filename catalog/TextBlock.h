#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qd {

// Texts back to back in one string, each told by its index: many short
// texts (the folder paths of a listing) cost an allocation for their bytes
// and one for their ends, not one each.
class TextBlock {
public:
    std::size_t size() const { return ends_.size(); }
    std::string_view operator[](std::size_t i) const
    {
        const std::size_t begin = i == 0 ? 0 : ends_[i - 1];
        return std::string_view(text_).substr(begin, ends_[i] - begin);
    }

    void reserve(std::size_t texts) { ends_.reserve(texts); }
    void push_back(std::string_view text)
    {
        text_ += text;
        ends_.push_back(text_.size());
    }
    // A text that make(std::string&) appends to the block's bytes.
    template <typename Make> void add(Make&& make)
    {
        make(text_);
        ends_.push_back(text_.size());
    }
    // Every text of other after those here.
    void append(const TextBlock& other)
    {
        const std::size_t before = text_.size();
        text_ += other.text_;
        for (const std::size_t end : other.ends_)
            ends_.push_back(before + end);
    }
    void clear()
    {
        text_.clear();
        ends_.clear();
    }

private:
    std::string text_;
    std::vector<std::size_t> ends_; // of each text in text_
};

} // namespace qd
