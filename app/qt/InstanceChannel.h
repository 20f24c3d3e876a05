#pragma once
// The private local socket through which a second start of the program reaches the instance that
// holds the single-instance lock: it hands over the folder it was started with ("" for none) and
// the running instance answers once it has taken the request.
#include <QObject>

#include <functional>
#include <string>

class QLocalServer;

namespace dvo::qt {

class InstanceChannel final : public QObject {
    Q_OBJECT
public:
    // Longest folder a request may carry; a longer one is dropped with its connection.
    static constexpr qsizetype kMaxRequestBytes = 64 * 1024;

    // Listens on socketPath (replacing a socket a dead instance left there: only the holder of
    // the lock calls this). onRequest runs on the GUI thread with each request's folder bytes.
    // Listens on nothing when socketPath is empty or cannot be used.
    InstanceChannel(const std::string& socketPath, std::function<void(std::string)> onRequest,
                    QObject* parent = nullptr);
    ~InstanceChannel() override;

    [[nodiscard]] bool Listening() const;

    // The second start's side: sends folder and waits up to timeoutMs for the answer. True when
    // the running instance took the request.
    [[nodiscard]] static bool Send(const std::string& socketPath, const std::string& folder,
                                   int timeoutMs = 3000);

private:
    void AcceptConnections();

    QLocalServer* m_server = nullptr; // child of this object
    std::function<void(std::string)> m_onRequest;
};

} // namespace dvo::qt
