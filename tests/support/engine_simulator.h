// One loopback server that plays all 26 engines of the catalogue. The settings of the running test
// point every engine host (and the confirmation page host) at it; each engine answers as the test
// configures it, and every request is recorded in arrival order with the engine it was meant for.
#pragma once

#include "tests/support/http_test_server.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace sendwell::test {

struct EngineRequestRecord {
    int engine = 0;      // catalogue position 1..26; 0 for a path no engine uses
    std::string method;  // "GET", "POST"
    std::string target;  // as sent
    std::string version; // "HTTP/1.1", "HTTP/1.0"
    HeaderList headers;  // in order, names as sent
    std::string body;
};

class EngineSimulator {
public:
    EngineSimulator();
    ~EngineSimulator();
    EngineSimulator(const EngineSimulator&) = delete;
    EngineSimulator& operator=(const EngineSimulator&) = delete;

    // Writes Host.Engine01..26 and Host.AlexaConfirm = "127.0.0.1:<port>" into the current settings
    // store (a test's ScopedXdgHome), so the catalogue's request addresses lead here.
    void PointEnginesHere() const;

    std::string HostPort() const { return server_.HostPort(); }
    int port() const { return server_.port(); }
    HttpTestServer& server() { return server_; }

    // The path (target without query) engine position answers on, e.g. "//cgi-bin/submit" for 14.
    static std::string EnginePath(int position);
    // The engine whose path this is, or 0.
    static int EngineForPath(const std::string& path);

    // How an engine answers; each replaces what was set before for that engine.
    void AnswerWith(int position, ScriptedResponse response);
    void AnswerPage(int position, std::string body);                  // 200 with this body
    void AnswerErrorPage(int position, std::string marker);           // 200, a page holding the marker text
    void AnswerNotFound(int position);                                // 404 with an error page
    void AnswerSlowly(int position, std::chrono::milliseconds delay); // head only after the delay
    void AnswerDroppingMidBody(int position); // announces more than it sends, then closes
    void AnswerGarbage(int position);         // bytes that are not HTTP at all
    // The engine's answers wait until ReleaseHeldAnswers, so a test can act while its request is in
    // progress. A forgotten release ends the wait after a minute, and the simulator's end ends it too.
    void HoldAnswers(int position);
    void ReleaseHeldAnswers();

    // The default answer: a short page naming the engine ("Thank you ..." + display name).
    static std::string DefaultPage(int position);

    std::vector<EngineRequestRecord> Requests() const;
    std::vector<int> EnginesRequested() const; // engine of every request, in order
    std::size_t RequestCount() const { return server_.RequestCount(); }

private:
    ScriptedResponse ResponseFor(int position) const;
    void WaitWhileHeld(int position);

    mutable std::mutex mutex_;
    std::condition_variable released_;
    std::map<int, ScriptedResponse> answers_;
    std::set<int> held_;
    HttpTestServer server_;
};

} // namespace sendwell::test
