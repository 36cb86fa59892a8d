#pragma once

#include <QList>
#include <QSignalBlocker>

#include <initializer_list>
#include <vector>

namespace Vantrel::Utils {

// Blocks the signals of several objects for as long as it lives, so that
// filling widgets from the receiver or the settings sends nothing back.
class SignalsBlocked
{
public:
    explicit SignalsBlocked(std::initializer_list<QObject*> objects)
    {
        blockers.reserve(objects.size());
        for (QObject* object : objects) {
            blockers.emplace_back(object);
        }
    }
    template <typename Object>
    explicit SignalsBlocked(const QList<Object*>& objects)
    {
        blockers.reserve(size_t(objects.size()));
        for (Object* object : objects) {
            blockers.emplace_back(object);
        }
    }

private:
    std::vector<QSignalBlocker> blockers;
};

} // namespace Vantrel::Utils
