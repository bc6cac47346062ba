#include "tests/support/engine_simulator.h"

#include "core/base/hosts.h"
#include "core/base/settings.h"
#include "core/submit/engine_catalogue.h"

namespace sendwell::test {

namespace {

std::string PathOfTemplate(std::string_view pathTemplate) {
    return std::string(pathTemplate.substr(0, pathTemplate.find('?')));
}

} // namespace

EngineSimulator::EngineSimulator() {
    for (const EngineEntry& engine : EngineCatalogue()) {
        int position = engine.position;
        server_.Route(EnginePath(position), [this, position](const RecordedRequest&) {
            WaitWhileHeld(position);
            return ResponseFor(position);
        });
    }
}

EngineSimulator::~EngineSimulator() {
    // Before the server joins its connection threads, none of which may still be waiting here.
    ReleaseHeldAnswers();
}

void EngineSimulator::PointEnginesHere() const {
    for (int position = 1; position <= kEngineCount; ++position) {
        WriteSetting(kSettingsSection, HostSettingName(EngineHostKey(position)), HostPort());
    }
    WriteSetting(kSettingsSection, HostSettingName("AlexaConfirm"), HostPort());
}

std::string EngineSimulator::EnginePath(int position) {
    return PathOfTemplate(EngineAt(position).pathTemplate);
}

int EngineSimulator::EngineForPath(const std::string& path) {
    for (const EngineEntry& engine : EngineCatalogue()) {
        if (PathOfTemplate(engine.pathTemplate) == path) {
            return engine.position;
        }
    }
    return 0;
}

void EngineSimulator::AnswerWith(int position, ScriptedResponse response) {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_[position] = std::move(response);
}

void EngineSimulator::AnswerPage(int position, std::string body) {
    AnswerWith(position, Response(200, std::move(body)));
}

void EngineSimulator::AnswerErrorPage(int position, std::string marker) {
    AnswerWith(position, Response(200, "<html><body>" + marker + "<p>Sorry.</p></body></html>\r\n"));
}

void EngineSimulator::AnswerNotFound(int position) {
    AnswerWith(position, Response(404, "<HTML><HEAD><TITLE>404</TITLE></HEAD><BODY><H1>Not Found</H1>"
                                       "The requested URL was not found on this server.</BODY></HTML>\r\n"));
}

void EngineSimulator::AnswerSlowly(int position, std::chrono::milliseconds delay) {
    ScriptedResponse r = Response(200, DefaultPage(position));
    r.delayBeforeHead = delay;
    AnswerWith(position, std::move(r));
}

void EngineSimulator::AnswerDroppingMidBody(int position) {
    ScriptedResponse r = Response(200, "<html><body>" + std::string(4000, 'x') + "</body></html>\r\n");
    r.dropAfterBodyBytes = 1000;
    AnswerWith(position, std::move(r));
}

void EngineSimulator::AnswerGarbage(int position) {
    AnswerWith(position, RawResponse("\x01\x02garbage\xff\xfe not a status line\r\n\r\n"));
}

void EngineSimulator::HoldAnswers(int position) {
    std::lock_guard<std::mutex> lock(mutex_);
    held_.insert(position);
}

void EngineSimulator::ReleaseHeldAnswers() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        held_.clear();
    }
    released_.notify_all();
}

void EngineSimulator::WaitWhileHeld(int position) {
    std::unique_lock<std::mutex> lock(mutex_);
    released_.wait_for(lock, std::chrono::minutes(1), [&] { return held_.count(position) == 0; });
}

std::string EngineSimulator::DefaultPage(int position) {
    return "<html><head><title>Thank you</title></head>\r\n<body>Thank you for submitting to " +
           std::string(EngineAt(position).displayName) + ".</body></html>\r\n";
}

ScriptedResponse EngineSimulator::ResponseFor(int position) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = answers_.find(position);
    return it != answers_.end() ? it->second : Response(200, DefaultPage(position));
}

std::vector<EngineRequestRecord> EngineSimulator::Requests() const {
    std::vector<EngineRequestRecord> out;
    for (const RecordedRequest& r : server_.Requests()) {
        out.push_back({EngineForPath(r.Path()), r.method, r.target, r.version, r.headers, r.body});
    }
    return out;
}

std::vector<int> EngineSimulator::EnginesRequested() const {
    std::vector<int> out;
    for (const EngineRequestRecord& r : Requests()) {
        out.push_back(r.engine);
    }
    return out;
}

} // namespace sendwell::test
