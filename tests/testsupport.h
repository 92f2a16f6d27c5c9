#pragma once

#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace corvane::test {

// A fresh temporary folder that is removed with the fixture.
class TemporaryFolderTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_folder.isValid()); }
    QString path(const QString &name = {}) const
    {
        return name.isEmpty() ? m_folder.path() : m_folder.filePath(name);
    }

private:
    QTemporaryDir m_folder;
};

// Sets the process umask for the lifetime of the object.
class ScopedUmask
{
public:
    explicit ScopedUmask(unsigned mask);
    ~ScopedUmask();

private:
    unsigned m_previous;
};

} // namespace corvane::test
