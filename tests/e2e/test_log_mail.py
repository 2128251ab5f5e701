"""The failure report: after a failed installation the setup offers to mail its log through
Simple MAPI. MAPI32.DLL is a test double in the prefix's system folder that records what it is
handed; the failure is a real one (a newer version of the sample product is installed)."""

import os

import harness as h
from scenario import (NEWER_INSTALLED, NO_TRANSFORM_LINES, SAMPLE_TITLE, Scenario, sample_distribution,
                      windows_log_path)

ADDRESS = 'support@example.com'
CAPTION = 'Sample Product (2.1.0)'
SUBJECT = "Log file for 'Sample Product (2.1.0)'"
COMPOSE = ' - Compose'


def send_question(log_path, address=ADDRESS):
    return ("Installation failed. Product not installed.\n\nDo you want to send the log file:\n"
            "'%s'\nto '%s'?" % (log_path, address))


def sent_records(log_path):
    """What MAPISendMail must receive, field by field."""
    return [
        'call=MAPISendMail', 'session=0', 'uiparam=0', 'flags=9', 'reserved=0',
        'message.reserved=0',
        'message.subject=' + SUBJECT,
        "message.note=See log file '%s' in attachment." % log_path.rsplit('\\', 1)[1],
        'message.type=(null)', 'message.date=(null)', 'message.conversation=(null)',
        'message.flags=0', 'message.originator=(null)', 'message.recipients=1',
        'recipient0.reserved=0', 'recipient0.class=1', 'recipient0.name=BootStrapper',
        'recipient0.address=SMTP:' + ADDRESS, 'recipient0.eidsize=0', 'recipient0.eid=(null)',
        'message.files=1', 'file0.reserved=0', 'file0.flags=0', 'file0.position=4294967295',
        'file0.path=' + log_path, 'file0.name=(null)', 'file0.type=(null)',
    ]


class FailedInstallation(Scenario):
    def setUp(self):
        super().setUp()
        result = h.msiexec(['/i', h.winpath(h.PACKAGES['product_v3'].path), '/qn'])
        self.assertEqual(result, 0, 'msiexec answered %d' % result)
        self.dist = sample_distribution('mail', SendErrorLogTo=ADDRESS)
        self.record = self.dist.path('mapi-record.txt')

    def answer_send_question(self, setup, button):
        box = h.wait_window(CAPTION, cls='#32770', timeout=60)
        log_path = windows_log_path()
        self.assertEqual(box.message, send_question(log_path))
        self.assertEqual(box.buttons(), ['Yes', 'No'])
        h.click(CAPTION, button=button, cls='#32770')
        self.assertEqual(setup.wait(), 3)
        return log_path

    def test_quiet_run_asks_and_yes_hands_over_the_log_and_raises_the_compose_window(self):
        with h.mapi_double():
            setup = h.start_setup(self.dist, '/i /quiet', env=h.mapi_env(self.record, window=COMPOSE))
            log_path = self.answer_send_question(setup, 'Yes')
            records = h.read_mapi_record(self.record)
            h.close(SUBJECT + COMPOSE)
        self.assertEqual(records[:-1], sent_records(log_path))
        # The compose window opened behind, and the setup brought it to the foreground.
        self.assertEqual(records[-1], 'activated')
        lines = self.the_log().stripped()
        self.assertEqual(lines[1:6], [*NO_TRANSFORM_LINES, NEWER_INSTALLED])
        self.assertEqual(lines[-1], "Send email to 'SMTP:%s' attachment file '%s'" % (ADDRESS, log_path))

    def test_full_level_no_sends_nothing_and_a_failed_send_logs_its_line(self):
        with h.mapi_double():
            setup = h.start_setup(self.dist, '/i', env=h.mapi_env(self.record))
            # The failure box first, then the question.
            h.wait_window(SAMPLE_TITLE, cls='#32770', timeout=60)
            h.click(SAMPLE_TITLE, button='OK', cls='#32770')
            self.answer_send_question(setup, 'No')
            self.assertEqual(h.read_mapi_record(self.record), [])
            self.assertRegex(self.the_log().stripped()[-1], r"^Install\(\) failed\. Error\(1638\) '.+'$")

            # MAPI_E_FAILURE (2): logged with its number; the compose window is not raised.
            h.clear_logs()
            setup = h.start_setup(self.dist, '/i /passive', env=h.mapi_env(self.record, result=2,
                                                                             window=COMPOSE))
            self.answer_send_question(setup, 'Yes')
            records = h.read_mapi_record(self.record)
            h.close(SUBJECT + COMPOSE)
        self.assertEqual(records[0], 'call=MAPISendMail')
        self.assertNotIn('activated', records)
        self.assertRegex(self.the_log().stripped()[-1],
                         r"^MAPISendMail\(SMTP:%s\) failure\. Error\(2\) '.+'$" % ADDRESS)

    def test_a_crashing_mail_client_ends_the_report_quietly(self):
        with h.mapi_double():
            setup = h.start_setup(self.dist, '/i /quiet', env=h.mapi_env(self.record, result='fault'))
            log_path = self.answer_send_question(setup, 'Yes')
        self.assertEqual(h.read_mapi_record(self.record)[0], 'call=MAPISendMail')
        self.assertEqual(self.the_log().stripped()[-1], 'SendLogFile(%s) failure.' % log_path)

    def test_without_mapi32_or_one_of_its_functions_the_log_says_so(self):
        env = h.wine_env(dll_overrides='mapi32=d')
        setup = h.start_setup(self.dist, '/i /quiet', env=env)
        self.answer_send_question(setup, 'Yes')
        self.assertEqual(self.the_log().stripped()[-1], "Can't load MAPI32.DLL")

        h.clear_logs()
        with h.mapi_double(without_logoff=True):
            setup = h.start_setup(self.dist, '/i /quiet', env=h.mapi_env(self.record))
            self.answer_send_question(setup, 'Yes')
        # MAPISendMail is there, but a library without all three is not used at all.
        self.assertEqual(h.read_mapi_record(self.record), [])
        self.assertEqual(self.the_log().stripped()[-1], "Can't load MAPI32.DLL")

    def test_without_an_address_nothing_is_asked(self):
        dist = sample_distribution('mail-none')
        with h.mapi_double():
            self.assertEqual(h.run_setup(dist, '/i /passive', env=h.mapi_env(self.record)).exit_code, 3)
        self.assertEqual(h.read_mapi_record(self.record), [])
        self.assertEqual(self.the_log().stripped()[-1], "Can't read email address from ini file.")


class CancelledInstallation(Scenario):
    products = (h.CANCEL_CODE,)

    def test_a_cancelled_installation_asks_nothing_and_ends_with_3(self):
        dist = sample_distribution('mail-cancel', fixture='product_cancel',
                                   package_name='Cancelled Product.msi', SendErrorLogTo=ADDRESS)
        record = dist.path('mapi-record.txt')
        with h.mapi_double():
            # The question would be shown even at this level: the run would never end.
            run = h.run_setup(dist, '/i /quiet', env=h.mapi_env(record), timeout=120)
        self.assertEqual(run.exit_code, 3)
        self.assertEqual(h.read_mapi_record(record), [])
        self.assertEqual(h.product_state(h.CANCEL_CODE), h.INSTALLSTATE_UNKNOWN)
        log = self.the_log('Cancelled Product Setup (*).log')
        self.assertEqual(log.stripped()[-1], 'Installation canceled', log.dump())


if __name__ == '__main__':
    import unittest
    unittest.main()
