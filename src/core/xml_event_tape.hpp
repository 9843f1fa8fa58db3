// The events of one document, read once and kept, so that many scans over slices of it (a
// shape, the shapes of its group, a table cell) need not read the same bytes again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "xml_events.hpp"

namespace varnex::xml {

class EventTape {
public:
    // Reads `document` through to its end or its first error. The document must outlive the
    // tape. A document whose events would take far more memory than its text is not kept, and
    // then the tape answers for no slice.
    explicit EventTape(std::string_view document)
        : EventTape(document, [](const Event&, std::string_view) {}) {}

    // The same, also calling `visit(event, event.local_name())` on the way with each event a
    // Reader over the whole document returns before its Eof or first error, kept or not: a
    // scan of the whole document that costs no reading of its own.
    template <class Visit>
    EventTape(std::string_view document, Visit&& visit) : document_(document) {
        start_recording();
        Reader reader(document);
        for (;;) {
            const auto event = reader.next();
            if (!event || event->kind == EventKind::Eof) break;
            const std::string_view local = event->local_name();
            if (recording_) record(*event, local, reader.depth());
            visit(static_cast<const Event&>(*event), local);
        }
        end_ = reader.offset();
        kept_ = recording_;
    }

    // Calls `visit(event, event.local_name())` with each event that Reader(slice, options)
    // would return before its Eof or its first error, in order, and returns true; or returns
    // false without calling it when the tape cannot tell, and the caller reads the slice
    // itself. The tape can tell when the slice lies within the document, starts and ends where
    // events do, and ends before the point where reading the document failed; the whole
    // document always qualifies. Offsets stay those of the document.
    template <class Visit>
    bool replay(std::string_view slice, ReaderOptions options, Visit&& visit) const {
        const auto range = range_of(slice);
        if (!range) return false;
        for (std::size_t k = range->first; k < range->second; ++k) {
            Event event = event_at(k);
            if (options.trim_text && event.kind == EventKind::Text && !trim_text_body(event.body)) continue;
            visit(static_cast<const Event&>(event), local_name_at(k, event));
        }
        return true;
    }

    // The index range of the events replay(slice) would visit (before trimming); absent when it
    // would return false.
    std::optional<std::pair<std::size_t, std::size_t>> range_of(std::string_view slice) const;
    // The same, when those events also start and end at the same depth without going below
    // it: complete elements and the text between them.
    std::optional<std::pair<std::size_t, std::size_t>> balanced_range_of(std::string_view slice) const;
    // Event `k` of the document (an index of the ranges above) and its local name.
    Event event(std::size_t k) const { return event_at(k); }
    std::string_view local_name(std::size_t k) const { return local_name_at(k, event_at(k)); }

private:
    struct Span {
        std::size_t first = 0;  // the events of the slice are [first, last)
        std::size_t last = 0;
        std::size_t stop = 0;  // where a reader of the slice stops: `last`, or an end tag before it
    };
    std::optional<Span> span_of(std::string_view slice) const;

    // An event as offsets into the document: half the size of an Event.
    struct Stored {
        std::uint32_t offset;
        std::uint32_t raw_size;
        std::uint32_t name_size;
        std::uint32_t local_start;  // from the start of the name
        std::uint32_t body_start;   // from `offset`
        std::uint32_t body_size;
        std::uint32_t depth_after;  // elements open after the event
        std::uint8_t name_start;    // from `offset`: 0, 1 or 2
        std::uint8_t kind;          // an EventKind
    };

    void start_recording();
    void record(const Event& event, std::string_view local, std::size_t depth) {
        if (events_.size() == max_events_) return give_up();
        const auto narrow = [](std::size_t value) { return static_cast<std::uint32_t>(value); };
        const char* const base = document_.data() + event.offset;
        const std::string_view name = event.name;
        events_.push_back(Stored{narrow(event.offset), narrow(event.raw.size()), narrow(name.size()),
                                 narrow(name.size() - local.size()),
                                 narrow(event.body.empty() ? 0 : event.body.data() - base), narrow(event.body.size()),
                                 narrow(depth), static_cast<std::uint8_t>(name.empty() ? 0 : name.data() - base),
                                 static_cast<std::uint8_t>(event.kind)});
    }
    void give_up();
    Event event_at(std::size_t k) const {
        const Stored& s = events_[k];
        const char* const at = document_.data() + s.offset;
        Event event;
        event.kind = static_cast<EventKind>(s.kind);
        event.offset = s.offset;
        event.raw = std::string_view(at, s.raw_size);
        if (has_name(event.kind)) event.name = std::string_view(at + s.name_start, s.name_size);
        if (has_body(event.kind)) event.body = std::string_view(at + s.body_start, s.body_size);
        return event;
    }
    std::string_view local_name_at(std::size_t k, const Event& event) const {
        return event.name.substr(events_[k].local_start);
    }
    // Whether events of a kind carry a name, and a body, viewed in the input.
    static bool has_name(EventKind kind) {
        return kind != EventKind::Text && kind != EventKind::CData && kind != EventKind::Comment &&
               kind != EventKind::DocType;
    }
    static bool has_body(EventKind kind) { return kind != EventKind::End && kind != EventKind::Reference; }

    std::string_view document_;
    std::vector<Stored> events_;
    std::size_t end_ = 0;  // just past the last event
    std::size_t max_events_ = 0;
    bool recording_ = false;
    bool kept_ = false;
};

}  // namespace varnex::xml
