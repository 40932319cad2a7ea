#include <QApplication>
#include <QtTest>

#include "WidgetsTests.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    int status = 0;
    {
        WidgetsTest t;
        status |= QTest::qExec(&t, argc, argv);
    }
    {
        PanelRulesTest t;
        status |= QTest::qExec(&t, argc, argv);
    }
    return status;
}
