// Arbitrary bytes as a message from the board a follower follows: taken as
// the first message and after a whole state. A dropped message leaves the
// state as it was; a taken one stays within the bounds.
#include "follow/FollowedState.h"

#include <QRegularExpression>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void check(const follow::FollowedState& s) {
    static const QRegularExpression src(QStringLiteral("^/picture/[1-3](\\?v=[0-9]{1,20})?$"));
    if (int(s.elements().size()) > follow::FollowedState::kMaxElements) {
        std::fprintf(stderr, "%zu elements\n", s.elements().size());
        std::abort();
    }
    for (const follow::Element& e : s.elements()) {
        if (e.name.isEmpty() || e.name.size() > follow::FollowedState::kMaxName ||
            e.text.size() > follow::FollowedState::kMaxText || e.picture < 0 || e.picture > 3 ||
            (!e.src.isEmpty() && !src.match(e.src).hasMatch())) {
            std::fprintf(stderr, "element out of bounds: %s\n", qPrintable(e.name));
            std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray message(reinterpret_cast<const char*>(data), qsizetype(size));
    follow::FollowedState fresh;
    fresh.take(message);
    check(fresh);

    follow::FollowedState s;
    s.take(R"({"type":"state","elements":[{"name":"Rang","kind":"text","text":"1","visible":true}]})");
    const std::vector<follow::Element> before = s.elements();
    if (!s.take(message) && s.elements() != before) {
        std::fprintf(stderr, "a dropped message changed the state\n");
        std::abort();
    }
    check(s);
    return 0;
}
