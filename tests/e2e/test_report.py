"""The failure report: after a failed installation (a newer version of the sample product is
installed) the setup offers to mail its log through Simple MAPI. MAPI32.DLL is a double in the
32-bit system folder that records what it is handed."""

import os
import re

import harness as h
from harness import SAMPLE_TITLE, Box, Case

ADDRESS = 'support@example.com'
SUBJECT = "Log file for 'Sample Product (2.1.0)'"
COMPOSE = ' - Compose'
QUESTION = Box('Sample Product (2.1.0)', "Installation failed. Product not installed.\n\nDo you want to send the log "
                                         "file:\n'{log}'\nto '%s'?" % ADDRESS, 'Yes', ['Yes', 'No'])
DECLINED = Box(QUESTION.title, QUESTION.message, 'No')


def sent(test, dist, log):
    """MAPISendMail got the message field by field, and the setup raised the compose window."""
    path = h.windows_log_path(log.path)
    test.assertEqual(records(dist), [
        'call=MAPISendMail', 'session=0', 'uiparam=0', 'flags=9', 'reserved=0', 'message.reserved=0',
        'message.subject=' + SUBJECT, "message.note=See log file '%s' in attachment." % os.path.basename(log.path),
        'message.type=(null)', 'message.date=(null)', 'message.conversation=(null)', 'message.flags=0',
        'message.originator=(null)', 'message.recipients=1', 'recipient0.reserved=0', 'recipient0.class=1',
        'recipient0.name=BootStrapper', 'recipient0.address=SMTP:' + ADDRESS, 'recipient0.eidsize=0',
        'recipient0.eid=(null)', 'message.files=1', 'file0.reserved=0', 'file0.flags=0', 'file0.position=4294967295',
        'file0.path=' + path, 'file0.name=(null)', 'file0.type=(null)', 'activated'])
    test.assertEqual(log.own[-1], "Send email to 'SMTP:%s' attachment file '%s'" % (ADDRESS, path))
    h.close(SUBJECT + COMPOSE)


def records(dist):
    path = dist.path('record.txt')
    return open(path, encoding='cp1252').read().splitlines() if os.path.exists(path) else []


def report(name, args='/i /quiet', result='0', window=None, **keys):
    env = {'MAPI_DOUBLE_RECORD': r'{dist}\record.txt', 'MAPI_DOUBLE_RESULT': result}
    if window:
        env['MAPI_DOUBLE_WINDOW'] = window
    return Case(name, args, installed='product_v3', ini={'SendErrorLogTo': ADDRESS}, exit=3, env=env,
                overrides=keys.pop('overrides', 'mapi32=n'), **keys)


class FailureReport(h.Scenario):
    def test_mailing_the_log(self):
        double = os.path.join(h.FIXTURES, 'mapi_double', 'mapi32.dll')
        incomplete = os.path.join(h.FIXTURES, 'mapi_double_no_logoff', 'mapi32.dll')
        with h.system_double('mapi32.dll', double):
            for case in [
                report('sent', window=COMPOSE, boxes=[QUESTION], then=sent),
                # The failure box first, then the question; No sends nothing.
                report('declined', '/i', boxes=[Box(SAMPLE_TITLE), DECLINED], tail=[h.failed(1638)],
                       then=lambda t, d, l: t.assertEqual(records(d), [])),
                # MAPI_E_FAILURE is logged with its number, and no compose window is raised.
                report('send fails', '/i /passive', result='2', window=COMPOSE, boxes=[QUESTION],
                       tail=[re.compile(r"MAPISendMail\(SMTP:%s\) failure\. Error\(2\) '.+'" % ADDRESS)],
                       then=lambda t, d, l: (t.assertNotIn('activated', records(d)), h.close(SUBJECT + COMPOSE))),
                # Whatever the mail program does, even crash, the run ends with 3.
                report('client crashes', result='fault', boxes=[QUESTION],
                       then=lambda t, d, l: t.assertEqual(l.own[-1], 'SendLogFile(%s) failure.'
                                                          % h.windows_log_path(l.path))),
                # Without MAPI32.DLL nothing is sent.
                report('no library', boxes=[QUESTION], overrides='mapi32=d', tail=["Can't load MAPI32.DLL"]),
            ]:
                self.run_case(case)
        # A library without all three functions is not used at all.
        with h.system_double('mapi32.dll', incomplete):
            self.run_case(report('incomplete library', boxes=[QUESTION], tail=["Can't load MAPI32.DLL"],
                                 then=lambda t, d, l: t.assertEqual(records(d), [])))
