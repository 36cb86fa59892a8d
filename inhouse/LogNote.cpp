#include "inhouse/LogNote.h"

namespace Tarsk::Utils {

namespace {
thread_local LogNote::Note_t currentNote = LogNote::NOTE_NONE;
} // namespace

LogNote::LogNote(Note_t note) : previous(currentNote)
{
    currentNote = note;
}

LogNote::~LogNote()
{
    currentNote = previous;
}

LogNote::Note_t LogNote::current()
{
    return currentNote;
}

} // namespace Tarsk::Utils
