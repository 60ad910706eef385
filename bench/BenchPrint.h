#pragma once

#include "print/LinePrnt.h"
#include "print/LinePrntQt.h"
#include "print/PrintJob.h"

#include <QGuiApplication>
#include <QPdfWriter>
#include <QStringList>

// Prints lines as the program prints notes, on a PDF writer.
inline void printNotesOn(QPdfWriter &pdf, const QStringList &lines)
{
    TQtPageDevice device(&pdf);
    TLinePrinter printer(&device);
    SetUpNotesPrinter(printer);
    TPrintJob job;
    job.Lines = lines;
    PrintNotes(printer, job);
}

// The GUI application fonts need, off screen, so that no display is needed.
struct OffscreenApplication
{
    int argc = 3;
    char platformOption[10] = "-platform";
    char platform[10] = "offscreen";
    char *argv[4];
    QGuiApplication app;

    explicit OffscreenApplication(char *name)
        : argv { name, platformOption, platform, nullptr }, app(argc, argv)
    {
    }
};
