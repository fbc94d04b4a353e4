#pragma once

#include "harvest/pagelinks.h"

#include <QString>

#include <optional>

// How far the engine got with the address last sent.
struct PageLoad
{
    enum class Stage {
        None, // nothing sent yet
        Loading,
        Loaded,
        Failed, // see domain and errorCode: a network error, or an HTTP status of 400 up
        Crashed, // the render process ended (crashed, ran out of memory, was killed) after
                 // the address was sent, and took the document along
    };
    // Where the engine's error code comes from (as QWebEngineLoadingInfo::ErrorDomain).
    enum class Domain { None, Internal, Connection, Certificate, Http, Ftp, Dns, HttpStatus };

    Stage stage = Stage::None;
    Domain domain = Domain::None;
    int errorCode = 0; // the engine's network error (negative), or the HTTP status

    friend bool operator==(const PageLoad &, const PageLoad &) = default;
};

// Why a page gave no keywords, in the words the user reads.
struct PageFailure
{
    QString reason; // 连接被拒绝, HTTP 404, 页面无响应, ...
    bool passing = false; // may be gone on a second try

    friend bool operator==(const PageFailure &, const PageFailure &) = default;
};

// Why a load failed or its render process died; nullopt while it has neither.
std::optional<PageFailure> loadFailure(const PageLoad &load);

// Why a harvest of the page got nothing: its load failed (an HTTP error page is the site's,
// not the page asked for), its render process died, or the engine gave no document of it (not
// yet answered by the harvest: 超时) or no answer (页面无响应). nullopt for a page harvested,
// or a harvest abandoned.
std::optional<PageFailure> harvestFailure(const PageLoad &load, const LinkCollection &collected);
