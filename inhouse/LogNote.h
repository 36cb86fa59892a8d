#pragma once

namespace Tarsk::Utils {

// A mark carried by every log line written in this thread while it is in scope,
// so that readers of the log tell lines apart without going by their words.
class LogNote
{
public:
    enum Note_t : int {
        NOTE_NONE = 0,
        NOTE_FAILURE,  // the report of a failure that escaped its slot or event
        NOTE_DETAIL    // for the log only: no news for the user
    };

    explicit LogNote(Note_t note);
    ~LogNote();
    LogNote(const LogNote&) = delete;
    LogNote& operator=(const LogNote&) = delete;

    static Note_t current();

private:
    Note_t previous;
};

} // namespace Tarsk::Utils
