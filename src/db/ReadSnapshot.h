#pragma once

namespace mae {

class Connection;

// One read transaction over a run's statements, where the engine makes it cheap and safe. On
// SQLite every statement reads the file as it was at the first one, and the file is locked once
// for the run instead of once per statement; writers wait until the snapshot ends, so it must
// never outlast a message that waits for the user. On other engines nothing changes: each
// statement reads the latest committed data. The connection stays read-only either way.
class ReadSnapshot {
  public:
    // Throws DbError when the engine refuses to start the transaction.
    explicit ReadSnapshot(Connection& connection);
    // Ends the transaction (nothing was written, so it is rolled back). Never throws.
    ~ReadSnapshot();
    ReadSnapshot(const ReadSnapshot&) = delete;
    ReadSnapshot& operator=(const ReadSnapshot&) = delete;

    bool IsActive() const noexcept { return m_active; }
    // Ends the transaction now (the destructor then has nothing left to do). Never throws.
    void End() noexcept;

  private:
    Connection& m_connection;
    bool m_active = false;
};

}  // namespace mae
