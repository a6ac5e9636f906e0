// SPDX-License-Identifier: MIT
#pragma once

#include <gtest/gtest.h>

#include <QLocalSocket>
#include <QTest>
#include <string>

namespace zelmor::control::testing {

// A client of the control socket in the test's own thread: waiting for a reply runs the event
// loop, so the server beside it answers.
struct LineClient {
    explicit LineClient(const QString& path) {
        socket.connectToServer(path);
        EXPECT_TRUE(socket.waitForConnected(2000)) << socket.errorString().toStdString();
    }
    void send(const std::string& bytes) {
        socket.write(bytes.data(), static_cast<qint64>(bytes.size()));
        socket.flush();
    }
    std::string reply() {
        if (!QTest::qWaitFor([this] { return socket.canReadLine(); }, 5000)) return "(no reply)";
        return socket.readLine().chopped(1).toStdString();
    }
    std::string ask(const std::string& line) {
        send(line + "\n");
        return reply();
    }
    QLocalSocket socket;
};

}  // namespace zelmor::control::testing
