#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/Files/AtomicFileWriter.hpp"
#include "platform/PropertyList/PropertyListValue.hpp"

namespace berthkeep {

class UnifiedLog;

// Typed user preferences of one application. Safe to use from any thread;
// valueChanged is emitted on the thread that made the change.
class UserDefaults : public QObject {
    Q_OBJECT

public:
    explicit UserDefaults(QObject* parent = nullptr)
        : QObject(parent) {}
    ~UserDefaults() override = default;

    std::optional<PropertyListValue> object(const std::string& key) const;
    void setObject(const std::string& key, PropertyListValue value);
    void removeObject(const std::string& key);
    PropertyListValue::Dictionary dictionaryRepresentation() const;

    // Readers with the usual conversions: a Boolean also reads from a number or a
    // string such as "YES" / "true" / "1"; a number from a number or a decimal
    // string. Missing or unconvertible values give false, 0 or nothing.
    bool boolForKey(const std::string& key) const;
    std::int64_t integerForKey(const std::string& key) const;
    double doubleForKey(const std::string& key) const;
    std::optional<std::string> stringForKey(const std::string& key) const;
    std::optional<PropertyListValue::Data> dataForKey(const std::string& key) const;
    std::optional<std::vector<std::string>> stringArrayForKey(const std::string& key) const;
    std::optional<PropertyListValue::Dictionary> dictionaryForKey(const std::string& key) const;

    void setBool(const std::string& key, bool value) { setObject(key, PropertyListValue(value)); }
    void setInteger(const std::string& key, std::int64_t value) {
        setObject(key, PropertyListValue(value));
    }
    void setDouble(const std::string& key, double value) {
        setObject(key, PropertyListValue(value));
    }
    void setString(const std::string& key, std::string value) {
        setObject(key, PropertyListValue(std::move(value)));
    }
    void setData(const std::string& key, PropertyListValue::Data value) {
        setObject(key, PropertyListValue(std::move(value)));
    }
    void setStringArray(const std::string& key, const std::vector<std::string>& value) {
        setObject(key, PropertyListValue::stringArray(value));
    }
    void setDictionary(const std::string& key, PropertyListValue::Dictionary value) {
        setObject(key, PropertyListValue(std::move(value)));
    }

    // The preferences of the main bundle's identifier; replaced by the
    // composition root or by tests.
    static std::shared_ptr<UserDefaults> standard();
    static void setStandard(std::shared_ptr<UserDefaults> defaults);

signals:
    void valueChanged(const QString& key);

protected:
    // Called with the lock held, after `changedKey` changed (or went) in
    // `values`; the store persists its whole contents. It may leave out of
    // `values` what it cannot keep in its file, having kept it elsewhere. False
    // refuses the change, which is then undone and not announced (a write that
    // merely failed is no refusal: the store keeps the change, pending).
    virtual bool persist(PropertyListValue::Dictionary& values, const std::string& changedKey) = 0;
    // Called with the lock held when a change leaves the values as they are: a
    // store whose last write failed writes them again.
    virtual void retryFailedWrite() {}

    mutable std::mutex m_mutex;
    PropertyListValue::Dictionary m_values;
};

// Kept only in memory, for tests.
class InMemoryUserDefaults final : public UserDefaults {
    Q_OBJECT

public:
    explicit InMemoryUserDefaults(PropertyListValue::Dictionary initial = {},
                                  QObject* parent = nullptr);

protected:
    bool persist(PropertyListValue::Dictionary&, const std::string&) override { return true; }
};

// One property-list file per bundle identifier, rewritten atomically on every
// change. The file is read once, at construction; one that cannot be read (a
// pipe, a damaged file) is kept aside when the first write replaces it. A
// write that fails (a full disk, a file that cannot be set aside yet) keeps
// the change in memory and stays pending in the writer: the next change,
// AtomicFileWriter::retryAllPending or the same value set again writes it.
//
// Written back, what was read can outgrow the bound it was read within (data
// is written in wrapped lines, CDATA escaped). The program's own keys are
// still always written: the whole file is then kept aside and the new one
// holds only those. Other changes that would pass the bound are refused.
class FileUserDefaults final : public UserDefaults {
    Q_OBJECT

public:
    // folder: where the file lies; by default <XDG config home>/Berthkeep.
    explicit FileUserDefaults(const std::string& bundleIdentifier,
                              std::optional<std::string> folder = std::nullopt,
                              std::shared_ptr<UnifiedLog> log = nullptr, QObject* parent = nullptr);

    // A larger file is not read: it is treated as unreadable and set aside. No
    // change makes the file larger.
    static constexpr std::int64_t maximumFileSize = 4 * 1024 * 1024;
    static constexpr const char* setAsideSuffix = ".unreadable";
    // Where a file too large to write back whole is kept.
    static constexpr const char* oversizedSuffix = ".oversized";
    // The program's own keys.
    static constexpr const char* ownKeyPrefix = "berthkeep.";

    static std::string defaultFolder();
    std::string filePath() const { return m_filePath; }
    // False when the last write failed.
    bool lastWriteSucceeded() const;

protected:
    bool persist(PropertyListValue::Dictionary& values, const std::string& changedKey) override;
    void retryFailedWrite() override;

private:
    void load();
    std::optional<std::string> ownKeysWithinBound(PropertyListValue::Dictionary& values,
                                                  const std::string& changedKey,
                                                  std::size_t grownSize);
    void keepAsideBeforeNextWrite(const char* suffix, const std::string& what);
    void logLine(bool isError, const std::string& message) const;

    std::string m_bundleIdentifier;
    std::string m_filePath;
    // Before the writer, which may report a set-aside to it until it goes.
    std::shared_ptr<UnifiedLog> m_log;
    AtomicFileWriter m_writer;
    bool m_lastWriteSucceeded = true;
};

} // namespace berthkeep
