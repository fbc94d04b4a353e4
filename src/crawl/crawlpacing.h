#pragma once

// The crawl's pacing: fixed, not configurable, and kept here in one place. Nothing adapts it
// to the page, the network or the size of the list.
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
