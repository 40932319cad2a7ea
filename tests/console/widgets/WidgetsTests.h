// The test classes of console_widgets_test.
#pragma once

#include <QObject>

class WidgetsTest : public QObject {
    Q_OBJECT
private slots:
    void faceMarksAndBox();
    void handsAsNumbers_data();
    void handsAsNumbers();
    void mappingIsIsotropicAndCentred();
    void clockRepaintsOnlyOnChange();
    void lampColourSets();
};

class PanelRulesTest : public QObject {
    Q_OBJECT
private slots:
    void readoutsOfDates();
    void offsets_data();
    void offsets();
    void lineStates();
    void daylightText();
    void telegram();
    void changeHourClamp_data();
    void changeHourClamp();
    void alarmRows();
    void buildTypeRhythm();
    void changeDates();
};
