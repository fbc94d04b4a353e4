#pragma once

// The window's pacing of the crawl: fixed, not configurable, and kept here in one place.
// Nothing adapts it to the page, the network or the size of the list.
struct CrawlPacing
{
    int rotationPeriodMs = 10000; // Timer1, from the first Command1 on
    int harvestPeriodMs = 1000; // Timer2
    int sleepMs = 2000; // the blocking sleep at the end of the rotation tick
    int rotationPumpsBeforeRearm = 4;
    int rotationPumpsAfterRearm = 1;
    int harvestPumps = 4;
    // The longest a harvest waits for the engine to hand over the page's links. A page whose
    // script never yields does not answer at all; the heaviest pages take tens of seconds.
    int collectTimeoutMs = 30000;
};

// The pacing the program runs at.
inline constexpr CrawlPacing RealCrawlPacing {};

// The pace of a batch run, which nobody watches: each page is harvested as soon as it has
// loaded and its links have stood still for a while, never earlier than the window would
// harvest it at the same interval, and never later than its timeout.
struct BatchPacing
{
    double intervalSeconds = 10; // from one address to the next; 0: as soon as it is done
    double timeoutSeconds = 30; // from the address to its harvest at the latest
    int quietMs = 500; // how long the links must stand still
    int retryDelayMs = 5000; // before a page that failed for a passing reason is tried again
    int checkMs = 100; // how often a loading page is looked at
    int unresponsiveMs = 3000; // a renderer silent this long at the timeout gets this long more

    // The window harvests a page its sleep and one harvest period after the address, of a
    // rotation period: a batch run harvests no earlier in the same share of its interval.
    double earliestHarvestSeconds() const
    {
        return intervalSeconds * (RealCrawlPacing.sleepMs + RealCrawlPacing.harvestPeriodMs)
            / RealCrawlPacing.rotationPeriodMs;
    }
};
