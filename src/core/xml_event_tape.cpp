#include "xml_event_tape.hpp"

#include <algorithm>
#include <limits>

namespace varnex::xml {

void EventTape::start_recording() {
    if (document_.size() >= std::numeric_limits<std::uint32_t>::max()) return;
    // Real part XML averages well over ten bytes per event; markup made of tiny empty tags
    // would make the tape several times larger than the text, and is read slice by slice.
    max_events_ = document_.size() / 8 + 64;
    events_.reserve(std::min(max_events_, document_.size() / 12 + 16));
    recording_ = true;
}

void EventTape::give_up() {
    events_ = {};
    recording_ = false;
}

std::optional<std::pair<std::size_t, std::size_t>> EventTape::range_of(std::string_view slice) const {
    if (!kept_) return std::nullopt;
    if (slice.data() == document_.data() && slice.size() == document_.size())
        return std::pair<std::size_t, std::size_t>{0, events_.size()};  // the reading of the document itself
    const auto span = span_of(slice);
    if (!span) return std::nullopt;
    return std::pair{span->first, span->stop};
}

std::optional<std::pair<std::size_t, std::size_t>> EventTape::balanced_range_of(std::string_view slice) const {
    if (!kept_) return std::nullopt;
    const auto span = span_of(slice);
    if (!span || span->stop != span->last) return std::nullopt;
    if (span->first == span->last) return std::pair{span->first, span->last};
    const std::uint32_t open_before = span->first == 0 ? 0 : events_[span->first - 1].depth_after;
    if (events_[span->last - 1].depth_after != open_before) return std::nullopt;
    return std::pair{span->first, span->last};
}

std::optional<EventTape::Span> EventTape::span_of(std::string_view slice) const {
    const auto slice_address = reinterpret_cast<std::uintptr_t>(slice.data());
    const auto document_address = reinterpret_cast<std::uintptr_t>(document_.data());
    if (slice_address < document_address || slice_address - document_address > document_.size())
        return std::nullopt;
    const std::size_t begin = slice_address - document_address;
    if (slice.size() > document_.size() - begin) return std::nullopt;
    const std::size_t end = begin + slice.size();
    if (begin == end) return Span{};  // nothing to read
    if (end > end_) return std::nullopt;  // a reader of the slice may or may not fail as the document's did

    const auto starts_before = [](const Stored& event, std::size_t offset) { return event.offset < offset; };
    const auto first = std::lower_bound(events_.begin(), events_.end(), begin, starts_before);
    if (first == events_.end() || first->offset != begin) return std::nullopt;
    const auto last = std::lower_bound(first, events_.end(), end, starts_before);
    if (last == events_.end() ? end != end_ : last->offset != end) return std::nullopt;

    // A reader of the slice starts with nothing open: to it, the first end tag that closes an
    // element opened before the slice is an error, and its reading stops there.
    Span span;
    span.first = static_cast<std::size_t>(first - events_.begin());
    span.last = static_cast<std::size_t>(last - events_.begin());
    span.stop = span.last;
    const std::uint32_t open_before = span.first == 0 ? 0 : events_[span.first - 1].depth_after;
    for (std::size_t k = span.first; k < span.last; ++k) {
        const bool end_tag = static_cast<EventKind>(events_[k].kind) == EventKind::End;
        if (end_tag && events_[k].depth_after < open_before) {
            span.stop = k;
            break;
        }
    }
    return span;
}

}  // namespace varnex::xml
