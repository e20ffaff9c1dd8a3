#include "invsql/stores.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "invsql/sqlite.h"
#include "isam/audit.h"

namespace invsql {

using Kind = isam::Status::Kind;

int result_code(const isam::Status& status) {
  switch (status.kind()) {
    case Kind::kOk: return SQLITE_OK;
    case Kind::kNotFound: return SQLITE_CANTOPEN;
    case Kind::kBusy: return SQLITE_BUSY;
    case Kind::kReadOnly: return SQLITE_READONLY;
    case Kind::kDamaged: return SQLITE_CORRUPT_VTAB;
    case Kind::kIo: return SQLITE_IOERR;
    case Kind::kFull: return SQLITE_FULL;
    case Kind::kKeyPresent: return SQLITE_CONSTRAINT;
    case Kind::kNoMemory: return SQLITE_NOMEM;
    case Kind::kInterrupted: return SQLITE_INTERRUPT;
    case Kind::kMarkedOpen:
    case Kind::kExists:
    case Kind::kInvalid: break;
  }
  return SQLITE_ERROR;
}

Stores::~Stores() {
  // A connection closed inside a transaction: SQLite has rolled it back
  // already; a writer left over rolls back when destroyed.
  for (auto& [name, open] : open_) open->store.reset();
}

OpenStore& Stores::entry(std::string_view path) {
  // Two spellings of one store's path must meet in one entry: a writer
  // would otherwise wait for this connection's own reader.
  std::error_code ec;
  std::string name = std::filesystem::weakly_canonical(std::filesystem::path(path), ec).string();
  if (ec || name.empty()) name = std::string(path);
  auto it = open_.find(name);
  if (it == open_.end()) {
    it = open_.emplace(name, std::make_unique<OpenStore>()).first;
    it->second->path = std::string(path);
  }
  return *it->second;
}

namespace {

// Whether the open marks are all a check of the store finds; otherwise
// `problems` names what else it finds ("2 other problems (...)"), or why
// the files could not be read.
bool marks_only(const std::string& path, const isam::StoreOptions& options, std::string& problems) {
  isam::audit::FileImage index, records;
  for (auto [kind, image] :
       {std::pair{isam::format::FileKind::kIndex, &index}, std::pair{isam::format::FileKind::kRecords, &records}}) {
    if (const isam::Status status = isam::audit::load(path, kind, options, *image); !status) {
      problems = "that it cannot be read (" + status.message() + ")";
      return false;
    }
  }
  const isam::audit::Check check = isam::audit::check(index, records);
  if (check.only_open_marks()) return true;
  std::vector<std::string> others;
  for (const isam::audit::Finding& f : check.findings)
    if (f.kind != isam::audit::Finding::Kind::kOpenMark) others.push_back(f.text);
  problems = std::to_string(others.size()) + (others.size() == 1 ? " other problem (" : " other problems (");
  for (std::size_t i = 0; i < others.size() && i < 3; ++i) problems += (i ? "; " : "") + others[i];
  problems += others.size() > 3 ? "; ...)" : ")";
  return false;
}

}  // namespace

int Stores::open_store(OpenStore& open, isam::StoreOptions::Access access, std::string& error) {
  isam::StoreOptions options;
  options.access = access;
  // A statement that looks up a few items loads only the pages it reads.
  options.load_files_on_walk = true;
  options.on_notice = [](std::string_view notice) {
    sqlite3_log(SQLITE_NOTICE, "invsql: %.*s", static_cast<int>(notice.size()), notice.data());
  };
  options.on_wait = [path = open.path] {
    sqlite3_log(SQLITE_NOTICE, "invsql: %s: waiting for another program that has it open", path.c_str());
  };
  std::unique_ptr<isam::Store> store;
  isam::Status status = isam::Store::open(open.path, options, store);
  if (status.kind() == Kind::kMarkedOpen) {
    // A program stopped without closing the store.  As invdb's changes do,
    // the change goes ahead when the files check clean but for the marks
    // (its commit clears them), and is refused in words otherwise.
    std::string problems;
    if (!marks_only(open.path, options, problems)) {
      error = open.path + " is marked open and its check finds " + problems + "; run \"invdb check " + open.path +
              "\"; nothing was changed";
      return SQLITE_ERROR;
    }
    options.accept_open_mark = true;
    status = isam::Store::open(open.path, options, store);
    if (status)
      sqlite3_log(SQLITE_NOTICE,
                  "invsql: %s was marked open by a program that stopped without closing it; the files check "
                  "clean otherwise, so the change clears the marks",
                  open.path.c_str());
  }
  if (!status) {
    error = status.message();
    return result_code(status);
  }
  open.store = std::move(store);
  ++open.generation;
  return SQLITE_OK;
}

void Stores::close_store(OpenStore& open) {
  for (StoreReader* r : open.readers) r->store_closing();
  open.viewer = nullptr;
  open.store.reset();
  ++open.generation;
}

OpenStore* Stores::attach(std::string_view path, StoreReader* reader, std::string& error, int& rc) {
  OpenStore& open = entry(path);
  if (!open.store) {
    rc = open_store(open, isam::StoreOptions::Access::kRead, error);
    if (rc != SQLITE_OK) return nullptr;
  }
  open.readers.push_back(reader);
  rc = SQLITE_OK;
  return &open;
}

void Stores::detach(OpenStore* open, StoreReader* reader) {
  if (open == nullptr) return;
  std::erase(open->readers, reader);
  if (open->viewer == reader) open->viewer = nullptr;
  if (open->readers.empty() && !open->writing) close_store(*open);
}

bool Stores::reopen(OpenStore& open, std::string& error, int& rc) {
  rc = SQLITE_OK;
  if (open.store) return true;
  rc = open_store(open, isam::StoreOptions::Access::kRead, error);
  return rc == SQLITE_OK;
}

OpenStore* Stores::writer(std::string_view path, std::string& error, int& rc) {
  OpenStore& open = entry(path);
  rc = SQLITE_OK;
  if (!open.given_up.empty()) {
    error = open.given_up;
    rc = SQLITE_ABORT;
    return nullptr;
  }
  if (open.writing) return &open;
  // This connection's own readers would make the writer wait: they move
  // onto the writer.
  if (open.store) close_store(open);
  rc = open_store(open, isam::StoreOptions::Access::kWrite, error);
  if (rc != SQLITE_OK) {
    if (!open.readers.empty()) {
      std::string ignored;
      open_store(open, isam::StoreOptions::Access::kRead, ignored);
    }
    return nullptr;
  }
  open.writing = true;
  return &open;
}

int Stores::commit(OpenStore& open, std::string& error) {
  if (!open.given_up.empty()) {
    error = open.given_up;
    return SQLITE_ABORT;
  }
  if (!open.writing) return SQLITE_OK;
  isam::Status status;
  for (const isam::HeadingSide side : {isam::HeadingSide::kRight, isam::HeadingSide::kLeft}) {
    const auto& text = open.headings[static_cast<int>(side)];
    if (status && text) status = open.store->write_heading(side, *text);
  }
  if (status) status = open.store->commit();
  if (!status) {
    error = status.message();
    rollback(open);
    return result_code(status);
  }
  end_transaction(open);
  return SQLITE_OK;
}

void Stores::rollback(OpenStore& open) {
  if (!open.writing && open.given_up.empty()) return;  // only read: nothing to undo
  if (open.writing && open.store) open.store->rollback();
  end_transaction(open);
  open.given_up.clear();
}

void Stores::end_transaction(OpenStore& open) {
  open.writing = false;
  open.changes = 0;
  open.savepoints.clear();
  open.headings[0].reset();
  open.headings[1].reset();
  close_store(open);
}

void Stores::give_up(OpenStore& open, std::string why) {
  rollback(open);
  open.given_up = std::move(why);
}

void Stores::savepoint(int level) {
  // Every store: one the statement is about to write has not been opened
  // for writing yet.
  for (auto& [name, open] : open_) open->savepoints[level] = open->changes;
}

void Stores::release(int level) {
  for (auto& [name, open] : open_) open->savepoints.erase(open->savepoints.lower_bound(level), open->savepoints.end());
}

void Stores::rollback_to(int level) {
  for (auto& [name, open] : open_) {
    if (!open->writing) continue;
    // A store first named after the savepoint: every change is since.
    const auto it = open->savepoints.find(level);
    const long before = it == open->savepoints.end() ? 0 : it->second;
    if (open->changes != before)
      give_up(*open, open->path +
                         ": a statement failed after changing the store; the transaction's change to it was "
                         "given up, nothing of it was written (ROLLBACK, then run the change again)");
  }
}

}  // namespace invsql
