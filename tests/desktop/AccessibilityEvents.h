// What the program tells screen readers, as a test sees it: while an AccessibilityEvents lives, the
// toolkit's accessibility is on (as it is when a screen reader runs) and every event it sends is kept.
#pragma once

#include <private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>
#include <QAccessible>
#include <QList>
#include <QString>

class AccessibilityEvents {
  public:
    struct Event {
        QAccessible::Event type;
        QString name;  // of the object the event is about
    };

    AccessibilityEvents() : previous_(QAccessible::installUpdateHandler(&Keep)) {
        KeptEvents().clear();
        Platform()->setActive(true);
    }
    ~AccessibilityEvents() {
        Platform()->setActive(false);
        QAccessible::installUpdateHandler(previous_);
    }
    AccessibilityEvents(const AccessibilityEvents&) = delete;
    AccessibilityEvents& operator=(const AccessibilityEvents&) = delete;

    const QList<Event>& Kept() const { return KeptEvents(); }
    void Clear() { KeptEvents().clear(); }
    qsizetype Count() const { return KeptEvents().size(); }

  private:
    static QList<Event>& KeptEvents() {
        static QList<Event> events;
        return events;
    }
    static QPlatformAccessibility* Platform() {
        return QGuiApplicationPrivate::platformIntegration()->accessibility();
    }
    static void Keep(QAccessibleEvent* event) {
        QAccessibleInterface* about = event->accessibleInterface();
        KeptEvents().push_back({event->type(), about ? about->text(QAccessible::Name) : QString()});
    }

    QAccessible::UpdateHandler previous_;
};
