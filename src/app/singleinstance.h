// One running copy per user and program folder (the OnlyStart setting): a
// second start hands over to the running copy, which comes to the front.
#pragma once

#include <QLocalServer>
#include <QObject>

#include <functional>
#include <string>

class SingleInstance : public QObject {
  public:
    explicit SingleInstance(const std::string& programFolder);
    // True when another copy runs and was asked to come to the front.
    bool handOver();
    // Listens for later starts; each one calls activate.
    void listen(std::function<void()> activate);

  private:
    QString name_;
    QLocalServer server_;
};
