#pragma once

#include "HttpGetter.h"

#include <QObject>

class QNetworkAccessManager;

/// The GET through QNetworkAccessManager that platform/HttpGetter used before it moved to libcurl,
/// kept here as the benchmark's reference. Lean leaves out what a camera poll never needs (cookies,
/// cache, HTTP/2 negotiation) and lets the manager delete its replies.
class QtGetter : public QObject
{
public:
    explicit QtGetter(bool lean, QObject* parent = nullptr);

    void get(const QString& url, int timeoutMs, qint64 maxBodyBytes, HttpGetter::Callback done);

private:
    bool m_lean;
    QNetworkAccessManager* m_manager;
};
