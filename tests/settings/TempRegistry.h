#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "settings/RegistryStore.h"

// Points the registry file at a fresh temporary XDG_CONFIG_HOME for each test, so no
// test sees the user's own settings or another test's.
class TempRegistryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.path()));
        qputenv("XDG_STATE_HOME", QFile::encodeName(m_dir.path() + QStringLiteral("/state")));
        ASSERT_EQ(TRegistryStore::defaultFilePath(),
            m_dir.path() + QStringLiteral("/Vellumtree/registry.reg"));
    }

    static QString registryPath() { return TRegistryStore::defaultFilePath(); }

    static QByteArray registryBytes()
    {
        QFile file(registryPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    static void writeRegistry(const QByteArray &bytes)
    {
        TRegistryStore store; // makes sure the folder exists
        store.OpenKey(QStringLiteral("Software\\Scratch"), true);
        store.Flush();
        QFile file(registryPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }

    QTemporaryDir m_dir;
};
