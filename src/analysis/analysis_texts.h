// The texts of the lot analysis (panel, limits, chart, report summary), Russian and English.
#pragma once

#include "data/text_pair.h"

namespace vyz::analysis::text {

// Menu and commands.
inline constexpr TextPair Menu{"Анализ", "Analysis"};
inline constexpr TextPair PanelCommand{"Панель статистики", "Statistics panel"};
inline constexpr TextPair LimitsCommand{"Допуски приёмки...", "Acceptance limits..."};
inline constexpr TextPair SaveChartCommand{"Сохранить график...", "Save chart..."};
inline constexpr TextPair ResetZoomCommand{"Весь график", "Whole chart"};
inline constexpr TextPair SummaryCommand{"Сводка по партии в конце отчета",
                                         "Lot summary at the end of the report"};

// Panel.
inline constexpr TextPair PanelTitle{"Анализ партии", "Lot analysis"};
inline constexpr TextPair StatisticsTab{"Статистика", "Statistics"};
inline constexpr TextPair ChartTab{"График", "Chart"};
inline constexpr TextPair AllRecords{"Все записи таблицы: %1", "All records of the table: %1"};
inline constexpr TextPair SelectedRecords{"Выделенные строки, записи № %1 - № %2: %3",
                                          "Selected rows, records № %1 to № %2: %3"};
inline constexpr TextPair NoRecords{"Таблица пуста: считать нечего.",
                                    "The table is empty: nothing to compute."};
inline constexpr TextPair Quantity{"Величина", "Quantity"};
inline constexpr TextPair Count{"n", "n"};
inline constexpr TextPair Mean{"Среднее", "Mean"};
inline constexpr TextPair StdDev{"Ст. откл.", "Std. dev."};
inline constexpr TextPair Min{"Мин.", "Min"};
inline constexpr TextPair Max{"Макс.", "Max"};
inline constexpr TextPair DensityName{"Плотность, кг/м^3", "Density, kg/m^3"};
inline constexpr TextPair PorosityName{"Пористость, %", "Porosity, %"};
inline constexpr TextPair CompactionName{"Уплотнение, %", "Compaction, %"};
inline constexpr TextPair TemperatureName{"Температура, °C", "Temperature, °C"};
inline constexpr TextPair ByMaterial{"По материалам", "By material"};
inline constexpr TextPair Material{"Материал", "Material"};
inline constexpr TextPair Records{"Записей", "Records"};
inline constexpr TextPair NoMaterial{"(без названия)", "(no name)"};
inline constexpr TextPair DeletedLeftOut{"Удаленные записи не учтены: %1",
                                         "Deleted records left out: %1"};
inline constexpr TextPair NoReferenceLeftOut{
    "Без опорной плотности, не учтены в пористости и уплотнении: %1",
    "Without reference density, left out of porosity and compaction: %1"};
inline constexpr TextPair DamagedLeftOut{
    "Записи с поврежденными значениями (не число), не учтены там, где они нужны: %1",
    "Records with damaged values (not a number), left out where those are used: %1"};
inline constexpr TextPair NoSpreadOfOne{"Ст. откл. требует хотя бы двух значений.",
                                        "The std. dev. needs at least two values."};

// Limits and percent within limits.
inline constexpr TextPair LimitsHeading{"Допуски приемки", "Acceptance limits"};
inline constexpr TextPair NoLimits{"Допуски не заданы (меню «Анализ»).",
                                   "No limits set (menu \"Analysis\")."};
inline constexpr TextPair PorosityLowName{"Пористость не меньше, %", "Porosity at least, %"};
inline constexpr TextPair PorosityHighName{"Пористость не больше, %", "Porosity at most, %"};
inline constexpr TextPair CompactionLowName{"Уплотнение не меньше, %", "Compaction at least, %"};
inline constexpr TextPair TemperatureLowName{"Температура не меньше, °C",
                                             "Temperature at least, °C"};
inline constexpr TextPair Within{"В допуске: %1 из %2 (%3 %)", "Within limits: %1 of %2 (%3 %)"};
inline constexpr TextPair NoneJudged{"В допуске: проверить нечего.",
                                     "Within limits: nothing to check."};
inline constexpr TextPair UnknownCount{"Не проверены (нет нужного значения): %1",
                                       "Not checked (a value is missing): %1"};
inline constexpr TextPair PwlHeading{"Процент в допуске (PWL), метод индекса качества",
                                     "Percent within limits (PWL), quality-index method"};
inline constexpr TextPair Pwl{"PWL, %", "PWL, %"};
inline constexpr TextPair QLow{"Q нижн.", "Q lower"};
inline constexpr TextPair QHigh{"Q верхн.", "Q upper"};
inline constexpr TextPair PwlTooFew{"не вычисляется: нужно не меньше 3 значений",
                                    "not computed: needs at least 3 values"};
inline constexpr TextPair PwlNoSpread{"не вычисляется: все значения равны (s = 0)",
                                      "not computed: all values are equal (s = 0)"};
inline constexpr TextPair PwlInverted{"не вычисляется: нижний допуск выше верхнего",
                                      "not computed: the lower limit is above the upper one"};
inline constexpr TextPair PorosityInvertedNote{
    "Допуски пористости не применяются: нижний выше верхнего.",
    "The porosity limits are not used: the lower one is above the upper one."};

// Limits dialog.
inline constexpr TextPair LimitsTitle{"Допуски приемки", "Acceptance limits"};
inline constexpr TextPair LimitsHint{"Пустое поле: допуск не задан.", "An empty field: no limit."};
inline constexpr TextPair BadNumber{"«%1»: это не число.", "\"%1\" is not a number."};
inline constexpr TextPair LimitsInverted{
    "Нижний допуск пористости выше верхнего: ни одна запись не пройдет.",
    "The lower porosity limit is above the upper one: no record could pass."};

// Verdict of a table row (tool tip; the symbol makes it readable without colour).
inline constexpr TextPair PassTip{"✔ В допуске", "✔ Within limits"};
inline constexpr TextPair FailTip{"✘ Вне допуска:", "✘ Outside limits:"};
inline constexpr TextPair UnknownTip{"? Не проверена:", "? Not checked:"};
inline constexpr TextPair PorosityBelow{"пористость %1 % < %2 %", "porosity %1 % < %2 %"};
inline constexpr TextPair PorosityAbove{"пористость %1 % > %2 %", "porosity %1 % > %2 %"};
inline constexpr TextPair CompactionBelow{"уплотнение %1 % < %2 %", "compaction %1 % < %2 %"};
inline constexpr TextPair TemperatureBelow{"температура %1 °C < %2 °C",
                                           "temperature %1 °C < %2 °C"};
inline constexpr TextPair NoReference{"нет опорной плотности", "no reference density"};
inline constexpr TextPair NotANumber{"значение не число", "a value is not a number"};

// Chart.
inline constexpr TextPair ChartTitle{"Плотность и пористость по записям таблицы",
                                     "Density and porosity by table row"};
inline constexpr TextPair RowAxis{"Строка таблицы", "Table row"};
inline constexpr TextPair DensitySeries{"Плотность, кг/м^3", "Density, kg/m^3"};
inline constexpr TextPair PorositySeries{"Пористость, %", "Porosity, %"};
inline constexpr TextPair FailingSeries{"Вне допуска", "Outside limits"};
inline constexpr TextPair PorosityLowLine{"Пористость: нижний допуск", "Porosity: lower limit"};
inline constexpr TextPair PorosityHighLine{"Пористость: верхний допуск", "Porosity: upper limit"};
inline constexpr TextPair PointTip{"Запись № %1, %2\nПлотность %3 кг/м^3\nПористость %4 %",
                                   "Record № %1, %2\nDensity %3 kg/m^3\nPorosity %4 %"};
inline constexpr TextPair PointTipNoPorosity{"Запись № %1, %2\nПлотность %3 кг/м^3",
                                             "Record № %1, %2\nDensity %3 kg/m^3"};
inline constexpr TextPair ChartHelp{
    "Колесо мыши или рамка: увеличить; правая кнопка: уменьшить; стрелки: сдвинуть; щелчок по "
    "точке: выделить строку.",
    "Mouse wheel or a drawn frame: zoom in; right button: zoom out; arrow keys: pan; a click on a "
    "point selects its row."};
inline constexpr TextPair ChartMissing{"График не может быть показан: %1",
                                       "The chart cannot be shown: %1"};
inline constexpr TextPair SaveChartTitle{"Сохранить график", "Save chart"};
inline constexpr TextPair PngFilter{"Рисунок PNG (*.png)", "PNG image (*.png)"};
inline constexpr TextPair SvgFilter{"Рисунок SVG (*.svg)", "SVG drawing (*.svg)"};
inline constexpr TextPair SaveFailed{"Не удалось записать файл %1.",
                                     "The file %1 could not be written."};

// Report summary.
inline constexpr TextPair SummaryTitle{"Сводка по партии", "Lot summary"};

} // namespace vyz::analysis::text
