#pragma once

#include "core/Result.h"

#include <QStringList>

#include <functional>

class QObject;

namespace fiscora {

class HttpClient;

// Tells the server about the office's accountant (Transferencia.contador) before he is saved: the
// twelve fields of the accountant window, in its order and as typed, as a job of `context`.
// `done` runs once, later; it fails only when the server cannot be reached.
void notifyAccountant(const HttpClient& http, const QStringList& typed, QObject* context,
                      std::function<void(Status)> done);

} // namespace fiscora
