// Recording a game: a table that writes every answer it reads to a record as it reads it.
#pragma once

#include "console/record.hpp"
#include "model/table_io.hpp"

namespace kvr {

// Wraps the table a game really plays at (this console, a hosted table) and writes every answer it
// reads, every drop and every take-back to a record.
class RecordingIo : public TableIo {
  public:
    RecordingIo(TableIo& inner, RecordWriter& writer) : inner_(inner), writer_(writer) {}

    void showAll(std::string_view text) override { inner_.showAll(text); }
    void show(int p, std::string_view text) override { inner_.show(p, text); }
    Answer ask(int p, std::string& line) override { return askFor(p, Prompt{}, line); }
    Answer askFor(int p, const Prompt& prompt, std::string& line) override;
    bool hosted() const override { return inner_.hosted(); }
    int remotePlayers() const override { return inner_.remotePlayers(); }
    bool seatRemote(int player, int p, std::string_view start) override;
    bool takeBack(int p) override;
    void seatOut(int p) override { inner_.seatOut(p); }
    void farewell(std::string_view text) override;

  private:
    TableIo& inner_;
    RecordWriter& writer_;
    long polls_ = 0;
    bool closed_ = false;
};

} // namespace kvr
