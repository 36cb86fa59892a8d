#pragma once

#include "locate/DriftFix.h"
#include "locate/Guidance.h"
#include "locate/LikelihoodRegion.h"
#include "locate/SearchLog.h"

namespace Vantrel::Ui {

// What Locate works out for the chosen platform beyond its still fix: whether it
// drifts, its 95 % region and the next leg to drive. Worked out again only when the
// platform's fix or the question changes, for one platform at a time.
class LocateAnalysis
{
public:
    struct Request_t
    {
        bool guide = true;
        double legSeconds = 120.0;
    };

    // Brings the analysis up to date with the platform's fix; false when it already was.
    // `bearings` and `options` are those the fix takes (SearchLog::fixInput()), before the
    // platform's stretch narrows the window.
    bool update(const Locate::SearchLog::Platform_t* platform, const QVector<Locate::Bearing_t>& bearings,
                const Locate::FixOptions_t& options, const Request_t& request);
    void clear();

    // The drift fix, meaningful when drifting().
    const Locate::DriftFix_t& drift() const { return driftFix; }
    bool drifting() const { return isDrifting; }
    // The still fix, or the position now when drifting: what the map and the summary show.
    const Locate::Fix_t& fix() const { return shownFix; }
    // The still fix's region; empty while drifting, where the still model is refused.
    const Locate::LikelihoodRegion& region() const { return likelihoodRegion; }
    bool guided() const { return hasLeg; }
    // What the messages several receivers heard show of their clocks, a line each; empty when nothing.
    const QString& clocks() const { return clockText; }
    const Locate::LegSuggestion_t& leg() const { return legSuggestion; }

    // The options the platform's fix took: the log's inside its stretch.
    static Locate::FixOptions_t optionsOf(const Locate::SearchLog::Platform_t& platform,
                                          const Locate::FixOptions_t& options);

private:
    struct Key_t
    {
        QString id;
        int bearings = -1;
        Locate::Fix_t fix;
        Locate::FixOptions_t options;
        Request_t request;
        bool operator==(const Key_t& other) const;
    };

    Key_t key;
    Locate::DriftFix_t driftFix;
    bool isDrifting = false;
    Locate::Fix_t shownFix;
    Locate::LikelihoodRegion likelihoodRegion;
    bool hasLeg = false;
    Locate::LegSuggestion_t legSuggestion;
    QString clockText;
};

} // namespace Vantrel::Ui
