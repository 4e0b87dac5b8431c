// The command line: options, the front end's own settings, and the dispatch that follows.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "model/types.hpp"

namespace kvr {

struct CommandLine {
    Options opt;
    bool tut = false;
    bool heroes = false;
    bool cards = false;
    bool host = false;
    bool help = false;
    std::string joinIp;
    int port = 9527;
    // The web page's port: -1 for the game's port + 1, 0 for no page.
    int webPort = -1;
    int humans = 6;
    int waitSeconds = 20;
    // --answer-time: seconds a remote seat has for each answer before the computer answers it; 0: no limit.
    int answerSeconds = 0;
    // --record: the game played is written there; --replay, --resume: a record played back or on.
    std::string recordPath;
    std::string replayPath;
    std::string resumePath;
    // --record-db: every game played is kept in DIR's database of games as well.
    std::string recordDb;
    // --serve: a room of tables, with nobody at the console. Its web port is --port (9528 unless given),
    // its line port --line-port (0: none).
    bool serve = false;
    bool portGiven = false;
    bool answerGiven = false;
    int linePort = 0;
    int tables = 100;
    std::string recordsDir;
    // --data: the folder of the room's database of games (DIR/games.db).
    std::string dataDir = "kavrin-data";
    bool dataGiven = false;
    std::string publicUrl;
    // The room's limits and timings, for running it small (tests) or large.
    int opensPerMinute = 6;
    int maxConnections = 3000;
    int maxFromOne = 64;
    int keepEndedSeconds = 600;
    int unstartedSeconds = 1800;
};

// A value that is not a number of its option's type; the text says which option and value.
struct BadArgument : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Parses argv[1..]; `opt` supplies the defaults. Stops at "--help". Throws BadArgument.
CommandLine parseCommandLine(const std::vector<std::string>& args, const Options& defaults);

extern const char* const HELP_TEXT;
extern const char* const BAD_PORT_TEXT;
extern const char* const BAD_NUMBER_TEXT;
constexpr int DEFAULT_PORT = 9527;

bool validPort(int port);
// A base-10 int that uses the whole text: leading blanks and a sign allowed, nothing after the digits.
bool parseWholeNumber(const std::string& text, int& out);
// A menu's port answer: empty for the default, else a whole number in 1..65535; 0 when invalid.
int menuPort(const std::string& answer);

// The room (`--serve`) until SIGINT or SIGTERM.
int serveRoom(const CommandLine& cl);

// The whole program after console preparation: returns the exit code.
int runFront(const std::vector<std::string>& args);

void consoleUtf8();

} // namespace kvr
